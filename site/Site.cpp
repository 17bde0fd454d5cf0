// The site handle, and the one place that tells a site file from a site database and from a site
// on a PostgreSQL server: a database is known by its first bytes, whatever the file's name, and a
// site on a server by its postgresql:// URI.

#include <ssmsg/Site.h>
#include <ssmsg/SiteDatabase.h>

#include <cstring>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/FileName.h"
#include "platform/InputFile.h"
#include "site/SiteData.h"
#include "site/db/SiteDb.h"
#include "site/db/Sqlite.h"
#include "site/file/SiteFile.h"
#include "site/file/SiteFileWriter.h"
#include "site/pg/Location.h"
#include "site/pg/PgSite.h"

namespace ssmsg {
namespace {

// The records of a site made in memory.
class MemoryRecords final : public SiteRecords {
 public:
  explicit MemoryRecords(std::vector<CSApplicationManagerStd> stores)
      : stores_(std::move(stores)) {}
  void Load(std::size_t controller, CSApplicationManagerStd& store) const override {
    store = stores_.at(controller);
  }

 private:
  std::vector<CSApplicationManagerStd> stores_;
};

CSS_SiteLoadResult Unreadable(const std::string& name, int error) {
  CSS_SiteLoadResult result;
  result.errors.push_back(name + ": cannot read the file: " + std::strerror(error));
  result.unreadable = true;
  return result;
}

// Reads the site file or database `file`; with `keep`, a site file's site keeps the records its
// check read instead of the text.
CSS_SiteLoadResult LoadSiteFrom(const std::filesystem::path& file, unsigned jobs, bool keep) {
  const std::string name = NameOfPath(file);
  if (pg::IsLocation(name)) return pg::LoadSite(name, jobs);
  int error = 0;
  // A file on the disk may be a database that this program has open already (the site editor
  // reads its own database): its first bytes are read through SQLite (db::StartsAsDatabase).
  std::error_code notFound;
  if (std::filesystem::is_regular_file(file, notFound)) {
    const std::optional<bool> database = db::StartsAsDatabase(name, error);
    if (!database) return Unreadable(name, error);
    if (*database) return LoadSiteDatabase(name.c_str(), name, jobs);
  }
  const std::unique_ptr<InputFile> in = InputFile::Open(name, error);
  if (!in) return Unreadable(name, error);
  // The first bytes say what the file is.
  char header[kSqliteHeader.size()];
  std::size_t got = 0;
  while (got < sizeof header) {
    const std::int64_t read = in->Read(header + got, sizeof header - got);
    if (read < 0) return Unreadable(name, static_cast<int>(-read));
    if (read == 0) break;
    got += static_cast<std::size_t>(read);
  }
  const std::string_view start(header, got);
  SiteText text;
  if (!ReadSiteText(*in, start, jobs, text, error)) return Unreadable(name, error);
  // A database that came through a pipe, or that was written since it was looked at.
  if (IsSqliteDatabase(start)) return LoadSiteDatabaseBytes(text.view(), name);
  return LoadSiteFileText(std::move(text), name, jobs, keep);
}

}  // namespace

CSS_DatabaseWriteResult WriteSiteDatabase(const CSS_Site& site, const std::filesystem::path& file) {
  return WriteSiteDatabase(site, file, 1);
}

CSS_DatabaseWriteResult WriteSiteDatabase(const CSS_Site& site, const std::filesystem::path& file,
                                          unsigned jobs) {
  const std::string name = NameOfPath(file);
  if (pg::IsLocation(name)) return pg::WriteSite(site, name, jobs);
  return db::WriteDatabaseFile(site, file, jobs);
}

CSS_MigrateResult MigrateSiteDatabase(const std::filesystem::path& file) {
  const std::string name = NameOfPath(file);
  if (pg::IsLocation(name)) return pg::Migrate(name);
  return db::MigrateDatabaseFile(file);
}

CSS_Site MakeMemorySite(std::string fileName, std::vector<CSS_SiteController> controllers,
                        std::vector<CSS_SiteEnumText> enumTexts) {
  auto site = std::make_unique<CSS_SiteData>();
  site->fileName = std::move(fileName);
  site->enumTexts = std::move(enumTexts);
  std::vector<CSApplicationManagerStd> stores;
  stores.reserve(controllers.size());
  for (CSS_SiteController& controller : controllers) {
    site->findings.AddController(site->addresses.size(), controller.store);
    site->addresses.push_back(controller.address);
    stores.push_back(std::move(controller.store));
  }
  site->records = std::make_unique<MemoryRecords>(std::move(stores));
  return CSS_SiteAccess::Make(std::move(site));
}

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

std::vector<std::size_t> CSS_Site::Select(const CSS_Selection& selection) const {
  return Select(selection.interfaceId, selection.node);
}

CSS_SelectionProblem CheckSelection(const CSS_Selection& selection,
                                    std::initializer_list<const CSS_Site*> sites) {
  CSS_SelectionProblem problem;
  if (selection.node && !selection.interfaceId) {
    problem.kind = CSS_SelectionProblem::Kind::NodeWithoutInterface;
    problem.text = "a node needs its interface";
    return problem;
  }
  if (sites.size() == 0) return problem;
  std::string names;
  for (const CSS_Site* site : sites) {
    if (!site->Select(selection).empty()) return problem;
    names += (names.empty() ? "" : " or ") + site->FileName();
  }
  problem.kind = CSS_SelectionProblem::Kind::NoController;
  problem.text = "no controller";
  if (selection.interfaceId)
    problem.text += " on interface " + std::to_string(*selection.interfaceId);
  if (selection.node) problem.text += " at node " + std::to_string(*selection.node);
  problem.text += " in " + names;
  return problem;
}

CSS_SiteLoadResult LoadSite(const std::filesystem::path& file) {
  return LoadSite(file, 1);
}

CSS_SiteLoadResult LoadSite(const std::filesystem::path& file, unsigned jobs) {
  return LoadSiteFrom(file, jobs, false);
}

CSS_SiteLoadResult LoadSiteKeepingRecords(const std::filesystem::path& file, unsigned jobs) {
  return LoadSiteFrom(file, jobs, true);
}

CSS_SiteLoadResult LoadSiteText(std::string_view text, std::string_view fileName) {
  return LoadSiteText(text, fileName, 1);
}

CSS_SiteLoadResult LoadSiteText(std::string_view text, std::string_view fileName, unsigned jobs) {
  if (IsSqliteDatabase(text)) return LoadSiteDatabaseBytes(text, fileName);
  return LoadSiteFileText(SiteText(text), fileName, jobs);
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
  std::vector<std::string> lines;
  for (const SiteWarning& warning : impl_->findings.Warnings(service))
    lines.push_back(warning.Line(impl_->fileName));
  return lines;
}

}  // namespace ssmsg
