#include <ssmsg/Site.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <unistd.h>

#include "json/JsonDom.h"
#include "site/SiteData.h"
#include "site/db/SiteDb.h"
#include "site/SiteLists.h"
#include "site/file/SiteFileWriter.h"

namespace ssmsg {

void CheckCapacity(const CSApplicationManagerStd& store, const std::string& where,
                   std::vector<std::string>& warnings) {
  const CSDevice_Resource& resource = store.GetResource();
  for (const CSS_CountedList& list : kCountedLists) {
    const int count = std::max<int>((resource.*list.get)(), 0);
    const int length = list.length(store);
    int first = -1;
    int beyond = 0;
    for (int position = count; position < length; ++position) {
      if (!list.has(store, position)) continue;
      if (first < 0) first = position;
      ++beyond;
    }
    if (beyond == 0) continue;
    warnings.push_back(where + "." + std::string(list.list) + "[" + std::to_string(first) +
                       "]: " + std::to_string(beyond) +
                       (beyond == 1 ? " record lies" : " records from here on lie") +
                       " beyond Resource." + std::string(list.count) + " (" +
                       std::to_string((resource.*list.get)()) +
                       (beyond == 1 ? ") and is never sent" : ") and are never sent"));
  }

  // Zones are sent in blocks of eight zone numbers from 1 up to the time-zone count.
  const int zoneCount = resource.GetTimeZones();
  const int groupCount =
      std::min<int>(resource.GetTimeGroups(), store.GetTimeGroupZone().GetRecordCount());
  for (int group = 1; group <= groupCount; ++group) {
    const auto* zones = store.GetTimeGroupZone().FindGroup(group);
    if (zones == nullptr) continue;
    for (std::size_t i = 0; i < zones->size(); ++i) {
      const int zoneNo = (*zones)[i].ZoneNo;
      if (zoneNo >= 1 && zoneNo <= (zoneCount + 7) / 8 * 8) continue;
      warnings.push_back(where + ".TimeGroups[" + std::to_string(group - 1) + "].Zones[" +
                         std::to_string(i) + "].ZoneNo: zone " + std::to_string(zoneNo) +
                         " lies outside the blocks of Resource.TimeZones (" +
                         std::to_string(zoneCount) + ") and is never sent");
    }
  }
}

namespace {

// A file is read a piece at a time, and each piece searched for a NUL byte while it is still in
// the cache: searching the whole text afterwards, from memory, was a tenth of `settings`.
constexpr std::size_t kPiece = std::size_t{1} << 20;

// Where the first NUL byte of the text read so far is (npos: none yet).
class NulSeen {
 public:
  void Search(const char* data, std::size_t begin, std::size_t end) {
    const void* nul = std::memchr(data + begin, '\0', end - begin);
    if (nul == nullptr) return;
    const auto at = static_cast<std::size_t>(static_cast<const char*>(nul) - data);
    std::size_t seen = first_.load(std::memory_order_relaxed);
    while (at < seen && !first_.compare_exchange_weak(seen, at, std::memory_order_relaxed)) {
    }
  }
  std::size_t First() const { return first_.load(std::memory_order_relaxed); }
  // Forgets what was seen: the text is read again from the start.
  void Reset() { first_.store(std::string_view::npos, std::memory_order_relaxed); }

 private:
  std::atomic<std::size_t> first_{std::string_view::npos};
};

// Reads the first `size` bytes of the file `fd` into `data` with `jobs` threads at once, each a
// part of its own (0: one per core); false, having read nothing certain, with one thread or a
// small file, or when a part cannot be read whole.
bool ReadInParts(int fd, char* data, std::size_t size, unsigned jobs, NulSeen& nul) {
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  constexpr std::size_t kSmall = std::size_t{16} << 20;
  if (jobs <= 1 || size < kSmall) return false;
  std::atomic<bool> whole{true};
  const auto readPart = [&](std::size_t begin, std::size_t end) {
    while (begin < end) {
      const ssize_t read =
          pread(fd, data + begin, std::min(end - begin, kPiece), static_cast<off_t>(begin));
      if (read <= 0) {
        if (read < 0 && errno == EINTR) continue;
        whole = false;
        return;
      }
      nul.Search(data, begin, begin + static_cast<std::size_t>(read));
      begin += static_cast<std::size_t>(read);
    }
  };
  std::vector<std::thread> readers;
  const std::size_t part = size / jobs;
  for (unsigned i = 1; i < jobs; ++i)
    readers.emplace_back(readPart, i * part, i + 1 == jobs ? size : (i + 1) * part);
  readPart(0, part);
  for (std::thread& reader : readers)
    reader.join();
  return whole;
}

}  // namespace

CSS_Site::CSS_Site(std::unique_ptr<CSS_SiteData> impl) : impl_(std::move(impl)) {}
CSS_Site::CSS_Site(CSS_Site&&) noexcept = default;
CSS_Site& CSS_Site::operator=(CSS_Site&&) noexcept = default;
CSS_Site::~CSS_Site() = default;

const std::string& CSS_Site::FileName() const {
  return impl_->fileName;
}

std::size_t CSS_Site::ControllerCount() const {
  return impl_->Count();
}

CSS_ControllerAddress CSS_Site::Address(std::size_t controller) const {
  return impl_->AddressOf(controller);
}

std::vector<std::size_t> CSS_Site::Select(std::optional<std::int32_t> interfaceId,
                                          std::optional<std::int32_t> node) const {
  std::vector<std::size_t> selected;
  for (std::size_t i = 0; i < impl_->Count(); ++i) {
    const CSS_ControllerAddress address = impl_->AddressOf(i);
    if (interfaceId && address.interfaceId != *interfaceId) continue;
    if (node && address.node != *node) continue;
    selected.push_back(i);
  }
  return selected;
}

CSS_SiteText::CSS_SiteText(std::size_t size)
    : bytes_(std::make_unique_for_overwrite<char[]>(size + JsonPadding())), size_(size) {
  std::fill_n(bytes_.get() + size, JsonPadding(), '\0');
}

void CSS_SiteText::Shrink(std::size_t size) {
  size_ = std::min(size, size_);
  std::fill_n(bytes_.get() + size_, JsonPadding(), '\0');
}

CSS_SiteLoadResult LoadSite(const std::filesystem::path& file) {
  return LoadSite(file, 1);
}

CSS_SiteLoadResult LoadSite(const std::filesystem::path& file, unsigned jobs) {
  const std::string name = file.string();
  const auto failed = [&name] {
    CSS_SiteLoadResult result;
    result.errors.push_back(name + ": cannot read the file: " + std::strerror(errno));
    result.unreadable = true;
    return result;
  };
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(name.c_str(), "rb"), &std::fclose);
  if (!in) return failed();
  // A site database is known by its first bytes, whatever the file's name.
  char header[kSqliteHeader.size()];
  if (pread(fileno(in.get()), header, sizeof header, 0) == static_cast<ssize_t>(sizeof header) &&
      IsSqliteDatabase({header, sizeof header})) {
    return LoadSiteDatabase(name.c_str(), name, jobs);
  }
  // The bytes go straight into the site's own buffer; a file that is not a regular one (a pipe)
  // is read in growing steps.
  std::error_code sizeError;
  const auto size = std::filesystem::file_size(file, sizeError);
  std::size_t capacity = sizeError ? std::size_t{1} << 16 : static_cast<std::size_t>(size) + 1;
  CSS_SiteText text(capacity);
  std::size_t length = 0;
  NulSeen nul;
  if (!sizeError && ReadInParts(fileno(in.get()), text.data(), capacity - 1, jobs, nul)) {
    length = capacity - 1;
    std::fseek(in.get(), static_cast<long>(length), SEEK_SET);
  } else {
    nul.Reset();  // a part that could not be read whole: the bytes are read again below
  }
  for (;;) {
    const std::size_t read =
        std::fread(text.data() + length, 1, std::min(capacity - length, kPiece), in.get());
    nul.Search(text.data(), length, length + read);
    length += read;
    if (read == 0) break;
    if (length < capacity) continue;
    CSS_SiteText larger(capacity * 2);
    std::copy_n(text.data(), length, larger.data());
    text = std::move(larger);
    capacity *= 2;
  }
  if (std::ferror(in.get())) return failed();
  text.Shrink(length);
  text.firstNul = nul.First();
  return LoadSiteBytes(std::move(text), name, jobs);
}

CSS_SiteLoadResult LoadSiteText(std::string_view text, std::string_view fileName) {
  return LoadSiteText(text, fileName, 1);
}

CSS_SiteLoadResult LoadSiteText(std::string_view text, std::string_view fileName, unsigned jobs) {
  CSS_SiteText bytes(text.size());
  std::copy(text.begin(), text.end(), bytes.data());
  return LoadSiteBytes(std::move(bytes), fileName, jobs);
}

void CSS_Site::LoadController(std::size_t controller, CSApplicationManagerStd& store) const {
  impl_->Load(controller, store);
}

std::string CSS_Site::ToJson() const {
  return WriteSite(*impl_);
}

bool CSS_Site::WriteJson(const std::function<bool(std::string_view)>& sink, unsigned jobs) const {
  return WriteSite(*impl_, sink, jobs);
}

void CSS_Site::LoadEnumTexts(CSToolEnum& service) const {
  for (const CSS_SiteEnumText& entry : impl_->enumTexts) {
    service.Get(entry.id)->SetText(entry.value, entry.text);
  }
}

std::vector<std::string> CSS_Site::Warnings(const CSToolEnum& service) const {
  const CSS_SiteData& site = *impl_;
  std::vector<std::string> warnings;
  for (const CSS_SiteEnumUse& use : site.enumUses) {
    if (!service.Get(use.id)->EnumToString(use.value).empty()) continue;
    warnings.push_back(site.fileName + ": " + use.path + ": " +
                       std::string(CSToolEnum::Name(use.id)) + " value " +
                       std::to_string(use.value) + " has no text");
  }
  CSApplicationManagerStd store;
  for (std::size_t i = 0; i < site.Count(); ++i) {
    site.Load(i, store);
    CheckCapacity(store, site.fileName + ": Controllers[" + std::to_string(i) + "]", warnings);
  }
  return warnings;
}

}  // namespace ssmsg
