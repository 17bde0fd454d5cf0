#pragma once

/// \file
/// Site files: a JSON description of the controllers of one site and, optionally, of enumeration
/// texts. LoadSite reads and checks a whole file; a host then loads one controller at a time into
/// the configuration store and asks the manager for that controller's messages (or lets
/// MakeSiteSettings of <ssmsg/SiteSettings.h> do it all).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSToolEnum.h>
#include <ssmsg/export.h>

namespace ssmsg {

/// Where a controller is reached: the number of its communication interface and its node on it.
struct CSS_ControllerAddress {
  std::int32_t interfaceId = 0;  ///< the interface, 1 or more
  std::int32_t node = 0;         ///< the node on it, 0 or more

  /// Two addresses are equal when interface and node are.
  /// \return whether they are equal
  friend bool operator==(const CSS_ControllerAddress&, const CSS_ControllerAddress&) = default;
};

/// Which controllers of a site a job is for: those on one interface, or with a node only the one
/// at that node; every controller when neither is given.
struct CSS_Selection {
  std::optional<std::int32_t> interfaceId;  ///< only the controllers on this interface
  std::optional<std::int32_t> node;         ///< with interfaceId, only the one at this node
};

class CSS_Site;

/// What is wrong with a selection, if anything.
struct CSS_SelectionProblem {
  /// What is wrong: nothing; a node given without its interface; or no controller of any of the
  /// sites is selected.
  enum class Kind { None, NodeWithoutInterface, NoController } kind = Kind::None;
  /// One line that says so, e.g. "no controller on interface 1 at node 7 in site.json".
  std::string text;
};

/// Whether `selection` is sound and selects a controller of at least one of `sites` (the jobs
/// that compare two sites select from both).
/// \param selection the selection
/// \param sites the sites it selects from
/// \return what is wrong with it; Kind::None when nothing is
SSMSG_API CSS_SelectionProblem CheckSelection(const CSS_Selection& selection,
                                              std::initializer_list<const CSS_Site*> sites);

struct CSS_SiteData;  ///< what a site holds; the library's own

/// A checked site file: its controllers in file order and its enumeration texts. A site is read
/// only; it may be shared between threads.
class SSMSG_API CSS_Site {
 public:
  /// Takes the site of another, which is left empty.
  CSS_Site(CSS_Site&&) noexcept;
  /// Takes the site of another, which is left empty.
  /// \return this site
  CSS_Site& operator=(CSS_Site&&) noexcept;
  ~CSS_Site();

  /// The name that the file was loaded under; it names the file in warnings.
  /// \return the name
  const std::string& FileName() const;

  /// \return how many controllers the site has
  std::size_t ControllerCount() const;
  /// The address of a controller.
  /// \param controller the controller, 0 to ControllerCount() - 1, in file order
  /// \return its interface and node
  CSS_ControllerAddress Address(std::size_t controller) const;

  /// The controllers on interface `interfaceId` (every controller when it is not given), and with
  /// `node` only the one at that node, in file order.
  /// \param interfaceId the interface, or nothing for every controller
  /// \param node the node on that interface, or nothing for all of them
  /// \return the controllers' numbers, as Address takes them
  std::vector<std::size_t> Select(std::optional<std::int32_t> interfaceId,
                                  std::optional<std::int32_t> node = std::nullopt) const;
  /// The controllers that `selection` selects, in file order.
  /// \param selection the selection
  /// \return the controllers' numbers, as Address takes them
  std::vector<std::size_t> Select(const CSS_Selection& selection) const;

  /// Replaces everything `store` holds with the records of controller `controller`.
  /// \param controller the controller, 0 to ControllerCount() - 1
  /// \param store the store to fill
  void LoadController(std::size_t controller, CSApplicationManagerStd& store) const;

  /// Gives `service` the enumeration texts of the site (other texts stay as they were).
  /// \param service the enumeration service to change
  void LoadEnumTexts(CSToolEnum& service) const;

  /// What a valid site may still get wrong: enumeration values that `service` has no text for,
  /// and records that lie beyond a controller's capability count or block of time zones and so
  /// are never sent. One line each, e.g. "site.json: Controllers[0].Inputs[3].Type: InputType
  /// value 9 has no text".
  /// \param service the enumeration texts to check the values against
  /// \return one line per warning
  std::vector<std::string> Warnings(const CSToolEnum& service) const;

  /// The site as a site file, in one fixed form: enumeration texts by enumeration and value, and
  /// every field of each record in message order. Loading it gives this site back.
  /// \return the site file's text
  std::string ToJson() const;
  /// The same text handed to `sink` in pieces, one controller at a time, the controllers written
  /// on `jobs` threads at once (0: one per core).
  /// \param sink receives the text in pieces; returning false stops the writing
  /// \param jobs the threads that write controllers at once
  /// \return false when `sink` returned false
  bool WriteJson(const std::function<bool(std::string_view text)>& sink, unsigned jobs = 1) const;

 private:
  friend struct CSS_SiteAccess;  ///< the library's own way to the records
  SSMSG_LOCAL explicit CSS_Site(std::unique_ptr<CSS_SiteData> data);
  std::unique_ptr<CSS_SiteData> impl_;
};

/// What loading a site file gives: the site when the file is valid, otherwise every error found.
/// Each error is one line naming the file and the path to the offending value, e.g.
/// "site.json: Controllers[0].Inputs[3].Time.Debounce: 70000 is outside -32768..32767", or for
/// malformed JSON the line and column, e.g. "site.json:4:7: syntax error ...". At most 100 errors
/// are listed, and a last line then says that the rest of the file was not checked.
struct CSS_SiteLoadResult {
  std::optional<CSS_Site> site;     ///< the site, when the file is valid
  std::vector<std::string> errors;  ///< every error found, one line each
  bool unreadable = false;          ///< the file could not be read at all; the one error says why
};

/// Reads and checks the site file `file`; errors name it as `file` was spelled. The site keeps the
/// file's text (and little else), and reads a controller's records from it whenever it is loaded.
/// \param file the site file
/// \return the site, or every error
SSMSG_API CSS_SiteLoadResult LoadSite(const std::filesystem::path& file);
/// The same, checking controllers on `jobs` threads at once (0: one per core).
/// \param file the site file
/// \param jobs the threads that check controllers at once; 0: one per core
/// \return the site, or every error
SSMSG_API CSS_SiteLoadResult LoadSite(const std::filesystem::path& file, unsigned jobs);

/// Checks the site file text `text` (the site keeps a copy); errors name it `fileName`.
/// \param text the site file's text
/// \param fileName the name that errors give it
/// \return the site, or every error
SSMSG_API CSS_SiteLoadResult LoadSiteText(std::string_view text, std::string_view fileName);
/// The same, checking controllers on `jobs` threads at once (0: one per core).
/// \param text the site file's text
/// \param fileName the name that errors give it
/// \param jobs the threads that check controllers at once; 0: one per core
/// \return the site, or every error
SSMSG_API CSS_SiteLoadResult LoadSiteText(std::string_view text, std::string_view fileName,
                                          unsigned jobs);

}  // namespace ssmsg
