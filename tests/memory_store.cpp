#include "memory_store.h"

#include <algorithm>
#include <stdexcept>

#include "server/JsonValue.h"
#include "site/file/SiteFileWriter.h"

namespace ssmsg::server {
namespace {

// The members of a canonical site file: its Enums object's text and its controllers' texts.
JsonValue Canonical(const CSS_Site& site) {
  JsonRead read = ReadJson(site.ToJson());
  if (!read) throw std::logic_error("the site's own JSON does not read: " + read.error());
  return std::move(*read);
}

}  // namespace

MemoryStore::MemoryStore(std::string_view siteText) {
  CSS_SiteLoadResult loaded = LoadSiteText(siteText, "site.json");
  if (!loaded.site) throw std::invalid_argument("the site is not valid");
  const JsonValue site = Canonical(*loaded.site);
  const JsonValue* enums = site.Find("Enums");
  enums_ = enums ? ToJson(*enums) : "{}";
  const JsonValue* list = site.Find("Controllers");
  for (std::size_t k = 0; k < list->items.size(); ++k)
    controllers_.push_back({loaded.site->Address(k), ToJson(list->items[k])});
}

std::size_t MemoryStore::Find(CSS_ControllerAddress address) const {
  for (std::size_t k = 0; k < controllers_.size(); ++k) {
    if (controllers_[k].address == address) return k;
  }
  return std::string::npos;
}

ControllerState MemoryStore::State(std::size_t k) const {
  return {controllers_[k].json, ControllerEtag(controllers_[k].json), k};
}

std::string MemoryStore::SiteOf(const std::string& controllerJson) const {
  return "{\"Enums\":" + enums_ + ",\"Controllers\":[" + controllerJson + "]}";
}

void MemoryStore::Log(const AuditNote& note, std::optional<CSS_ControllerAddress> address,
                      std::string before, std::string after) {
  const std::int64_t id = static_cast<std::int64_t>(audit_.size()) + 1;
  audit_.push_back({id, note, address, std::move(before), std::move(after)});
}

std::string MemoryStore::SiteJson() {
  const std::lock_guard lock(mutex_);
  std::string text = "{\"Enums\":" + enums_ + ",\"Controllers\":[";
  for (std::size_t k = 0; k < controllers_.size(); ++k)
    text += (k > 0 ? "," : "") + controllers_[k].json;
  text += "]}";
  CSS_SiteLoadResult loaded = LoadSiteText(text, "site.json");
  return loaded.site->ToJson();
}

std::vector<ControllerSummary> MemoryStore::Controllers() {
  const std::lock_guard lock(mutex_);
  std::vector<ControllerSummary> list;
  for (const Entry& entry : controllers_) {
    const JsonRead read = ReadJson(entry.json);
    const JsonValue* name = read->Find("Name");
    list.push_back({entry.address, name ? name->text : "", ControllerEtag(entry.json)});
  }
  return list;
}

std::optional<ControllerState> MemoryStore::Controller(CSS_ControllerAddress address) {
  const std::lock_guard lock(mutex_);
  const std::size_t k = Find(address);
  if (k == std::string::npos) return std::nullopt;
  return State(k);
}

Store::Place MemoryStore::PlaceOf(CSS_ControllerAddress address) {
  const std::lock_guard lock(mutex_);
  const std::size_t k = Find(address);
  return k == std::string::npos ? Place{false, controllers_.size()} : Place{true, k};
}

std::string MemoryStore::EnumsJson() {
  const std::lock_guard lock(mutex_);
  return enums_;
}

WriteResult MemoryStore::PutController(CSS_ControllerAddress address, const Expect& expect,
                                       const CSApplicationManagerStd& records,
                                       const AuditNote& note) {
  // Compacted from the site file's layout, so that the two stores' answers are made two ways.
  std::string text;
  CSS_SiteWriter::ControllerText(text, address, records);
  std::string json = CompactJson(text);
  const std::lock_guard lock(mutex_);
  std::size_t k = Find(address);
  const std::string etag = k == std::string::npos ? "" : ControllerEtag(controllers_[k].json);
  const WriteStatus status = expect.Check(k == std::string::npos ? nullptr : &etag);
  if (status != WriteStatus::Done) return {status, {}};
  std::string before = k == std::string::npos ? "null" : controllers_[k].json;
  if (k == std::string::npos) {
    k = controllers_.size();
    controllers_.push_back({address, json});
  } else {
    controllers_[k].json = json;
  }
  Log(note, address, std::move(before), std::move(json));
  return {WriteStatus::Done, State(k)};
}

WriteResult MemoryStore::DeleteController(CSS_ControllerAddress address, const Expect& expect,
                                          const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  const std::size_t k = Find(address);
  const std::string etag = k == std::string::npos ? "" : ControllerEtag(controllers_[k].json);
  const WriteStatus status = expect.Check(k == std::string::npos ? nullptr : &etag);
  if (status != WriteStatus::Done) return {status, {}};
  Log(note, address, controllers_[k].json, "null");
  controllers_.erase(controllers_.begin() + static_cast<std::ptrdiff_t>(k));
  sent_.erase({address.interfaceId, address.node});
  return {WriteStatus::Done, {}};
}

std::optional<PendingSites> MemoryStore::Pending(CSS_ControllerAddress address) {
  const std::lock_guard lock(mutex_);
  const std::size_t k = Find(address);
  if (k == std::string::npos) return std::nullopt;
  const JsonValue controller = *ReadJson(controllers_[k].json);
  const JsonValue* name = controller.Find("Name");
  PendingSites sites{SiteOf(controllers_[k].json),
                     ControllerEtag(controllers_[k].json),
                     {},
                     k,
                     name != nullptr ? name->text : std::string()};
  if (const auto sent = sent_.find({address.interfaceId, address.node}); sent != sent_.end())
    sites.sent = sent->second;
  return sites;
}

WriteResult MemoryStore::MarkSent(CSS_ControllerAddress address, const Expect& expect,
                                  const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  const std::size_t k = Find(address);
  const std::string etag = k == std::string::npos ? "" : ControllerEtag(controllers_[k].json);
  const WriteStatus status = expect.Check(k == std::string::npos ? nullptr : &etag);
  if (status != WriteStatus::Done) return {status, {}};
  sent_[{address.interfaceId, address.node}] = SiteOf(controllers_[k].json);
  Log(note, address, controllers_[k].json, controllers_[k].json);
  return {WriteStatus::Done, State(k)};
}

std::vector<AuditEntry> MemoryStore::Audit(std::int64_t after, std::size_t limit) {
  const std::lock_guard lock(mutex_);
  std::vector<AuditEntry> entries;
  for (const AuditEntry& entry : audit_) {
    if (entry.id > after && entries.size() < limit) entries.push_back(entry);
  }
  return entries;
}

std::vector<User> MemoryStore::Users() {
  const std::lock_guard lock(mutex_);
  return users_;
}

std::optional<User> MemoryStore::FindUser(std::string_view name) {
  const std::lock_guard lock(mutex_);
  for (const User& user : users_) {
    if (user.name == name) return user;
  }
  return std::nullopt;
}

std::optional<User> MemoryStore::FindUserById(std::int64_t id) {
  const std::lock_guard lock(mutex_);
  for (const User& user : users_) {
    if (user.id == id) return user;
  }
  return std::nullopt;
}

UserWrite MemoryStore::AddUser(const User& user, const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  for (const User& other : users_) {
    if (other.name == user.name) return UserWrite::Exists;
  }
  users_.push_back(user);
  users_.back().id = nextUserId_++;
  Log(note, std::nullopt, "null", UserChange(user.name, user.role));
  return UserWrite::Done;
}

void MemoryStore::EndSessionsOf(std::int64_t userId) {
  std::erase_if(sessions_, [userId](const auto& entry) { return entry.second.userId == userId; });
  std::erase_if(tokens_, [userId](const auto& entry) { return entry.second.userId == userId; });
}

bool MemoryStore::LastAdmin(const User& user) const {
  return user.role == Role::Admin && std::count_if(users_.begin(), users_.end(), [](const User& u) {
                                       return u.role == Role::Admin;
                                     }) == 1;
}

UserWrite MemoryStore::UpdateUser(std::string_view name, Role role,
                                  const std::optional<std::string>& passwordHash,
                                  const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  for (User& user : users_) {
    if (user.name != name) continue;
    if (role != Role::Admin && LastAdmin(user)) return UserWrite::LastAdmin;
    std::vector<std::string_view> changed;
    if (role != user.role) changed.emplace_back("role");
    if (passwordHash) changed.emplace_back("password");
    user.role = role;
    if (passwordHash) {
      user.passwordHash = *passwordHash;
      EndSessionsOf(user.id);
    }
    Log(note, std::nullopt, "null", UserChange(user.name, role, &changed));
    return UserWrite::Done;
  }
  return UserWrite::NotFound;
}

UserWrite MemoryStore::RemoveUser(std::string_view name, const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  for (auto user = users_.begin(); user != users_.end(); ++user) {
    if (user->name != name) continue;
    if (LastAdmin(*user)) return UserWrite::LastAdmin;
    EndSessionsOf(user->id);
    Log(note, std::nullopt, "null", UserChange(user->name, user->role));
    users_.erase(user);
    return UserWrite::Done;
  }
  return UserWrite::NotFound;
}

std::optional<std::int64_t> MemoryStore::AddToken(const User& user, const std::string& tokenHash,
                                                  const Token& token, const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  if (!StillThere(user.id, user.passwordHash)) return std::nullopt;
  StoredToken& stored = tokens_[tokenHash] = {user.id, token};
  stored.token.id = nextTokenId_++;
  Log(note, std::nullopt, "null", TokenChange(user.name, stored.token));
  return stored.token.id;
}

std::optional<TokenUser> MemoryStore::FindToken(const std::string& tokenHash, std::int64_t now) {
  StoredToken stored;
  {
    const std::lock_guard lock(mutex_);
    const auto found = tokens_.find(tokenHash);
    if (found == tokens_.end()) return std::nullopt;
    stored = found->second;
  }
  if (stored.token.expires && *stored.token.expires <= now) return std::nullopt;
  std::optional<User> user = FindUserById(stored.userId);
  if (!user) return std::nullopt;
  return TokenUser{std::move(*user), std::move(stored.token)};
}

std::optional<std::vector<Token>> MemoryStore::Tokens(std::string_view name) {
  const std::optional<User> user = FindUser(name);
  if (!user) return std::nullopt;
  const std::lock_guard lock(mutex_);
  std::vector<Token> tokens;
  for (const auto& [hash, stored] : tokens_) {
    if (stored.userId == user->id) tokens.push_back(stored.token);
  }
  std::sort(tokens.begin(), tokens.end(),
            [](const Token& a, const Token& b) { return a.id < b.id; });
  return tokens;
}

UserWrite MemoryStore::RemoveToken(std::string_view name, std::int64_t id, const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  for (const User& user : users_) {
    if (user.name != name) continue;
    for (auto stored = tokens_.begin(); stored != tokens_.end(); ++stored) {
      if (stored->second.userId != user.id || stored->second.token.id != id) continue;
      Log(note, std::nullopt, "null", TokenChange(user.name, stored->second.token));
      tokens_.erase(stored);
      return UserWrite::Done;
    }
  }
  return UserWrite::NotFound;
}

bool MemoryStore::AddSession(const Session& session, std::string_view passwordHash) {
  const std::lock_guard lock(mutex_);
  if (!StillThere(session.userId, passwordHash)) return false;
  sessions_[session.idHash] = session;
  return true;
}

bool MemoryStore::StillThere(std::int64_t id, std::string_view passwordHash) const {
  for (const User& user : users_) {
    if (user.id == id) return user.passwordHash == passwordHash;
  }
  return false;
}

std::optional<Session> MemoryStore::FindSession(const std::string& idHash) {
  const std::lock_guard lock(mutex_);
  const auto found = sessions_.find(idHash);
  if (found == sessions_.end()) return std::nullopt;
  return found->second;
}

void MemoryStore::TouchSession(const std::string& idHash, std::int64_t now) {
  const std::lock_guard lock(mutex_);
  if (const auto found = sessions_.find(idHash); found != sessions_.end())
    found->second.lastSeen = now;
}

void MemoryStore::EndStaleSessions(std::int64_t seenBy, std::int64_t madeBy) {
  const std::lock_guard lock(mutex_);
  std::erase_if(sessions_, [&](const auto& entry) {
    return entry.second.lastSeen <= seenBy || entry.second.created <= madeBy;
  });
}

void MemoryStore::RemoveSession(const std::string& idHash) {
  const std::lock_guard lock(mutex_);
  sessions_.erase(idHash);
}

}  // namespace ssmsg::server
