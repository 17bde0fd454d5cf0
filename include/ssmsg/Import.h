#pragma once

/// \file
/// A site from the settings messages that made it: the messages are applied in order, per
/// controller, the way a controller takes them, and the site that results is what loading its
/// site file would give. Given the messages that `ssmsg settings --task L` writes for a site, the
/// site made here makes `ssmsg settings --task L` write exactly those messages again, for any task
/// list L without the clock (task 152).
///
///   CSS_Import import;
///   for (each line of the stream) import.AddLine(line, "settings.txt", lineNumber);
///   (or, for many lines at once, import.AddLines(lines, "settings.txt", firstLineNumber))
///   std::optional<CSS_Site> site = import.TakeSite("settings.txt");
///   if (!site) ... import.Errors() ...;   else site->ToJson() is its site file

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/Site.h>
#include <ssmsg/export.h>

namespace ssmsg {

/// How CSS_Import reads messages back.
struct CSS_ImportOptions {
  /// Enumeration texts to read back besides the built-in ones; they are also written into the
  /// site file. Read when the import is made: the site need not outlive that.
  const CSS_Site* enumsFrom = nullptr;
  /// Threads that AddLines applies lines with (0: one per core), the calling one among them:
  /// each controller's messages on one thread, in order, and different controllers' on different
  /// threads. The outcome is the same whatever the number. With 1 no thread is started.
  unsigned jobs = 1;
};

/// How messages become records:
/// - A clear message empties the records of its own task only: "InputClearAll" the input types
///   (not the names, timing or links of the inputs), "ReaderClearAll" the reader configurations
///   (not the card formats, the check setup or the names), and so on.
/// - A record message sets the record it names; serial ports, field-LAN nodes and time zones,
///   whose messages name no position, take the next position after the last clear. A time-group
///   message sets the zones of its group in the block of eight zone numbers it covers.
/// - A name piece is placed at its column, and the name ends after it.
/// - A later message wins over an earlier one. Controllers appear in the order of their first
///   message.
/// - Enumeration texts become the lowest value that has the text; a text that no value has gets
///   the lowest value that has no text, and an "Enums" entry in the site file.
/// - Interface messages, the request for settings and the clock carry no configuration: they are
///   skipped, and Notes() says so once per kind.
/// Capability counts are set high enough that every record is sent, and the time-zone count so
/// that the time-group blocks cover every zone number seen.
///
/// The records are kept, not the messages: memory grows with the records of the site, not with
/// the length of the stream.
class SSMSG_API CSS_Import {
 public:
  /// An import with no line applied yet.
  /// \param options enumeration texts to read back, and the jobs of AddLines
  explicit CSS_Import(const CSS_ImportOptions& options = {});
  /// Takes the import of another, which is left empty.
  CSS_Import(CSS_Import&&) noexcept;
  /// Takes the import of another, which is left empty.
  /// \return this import
  CSS_Import& operator=(CSS_Import&&) noexcept;
  ~CSS_Import();

  /// Applies line `line` (1-based) of the stream `source`: one message, exactly as the library
  /// writes it. A line of nothing but white space is skipped. false when the line is not a message
  /// or cannot be applied; Errors() then says why.
  /// \param text the line, without its line feed
  /// \param source the name of the stream, for errors
  /// \param line the line's number, from 1
  /// \return whether the line was applied
  bool AddLine(std::string_view text, std::string_view source, std::size_t line);

  /// AddLine for each of `lines`, numbered from `firstLine` on, with the same result and errors;
  /// the lines are applied on the options' jobs at once. false when any line failed.
  /// \param lines the lines, without their line feeds
  /// \param source the name of the stream, for errors
  /// \param firstLine the number of the first line, from 1
  /// \return whether every line was applied
  bool AddLines(std::span<const std::string_view> lines, std::string_view source,
                std::size_t firstLine);

  /// What was wrong, one line each: "SOURCE:LINE:COLUMN: reason" for a line that is not a
  /// message, "SOURCE:LINE: reason" for one that cannot be applied. After 100 errors one more
  /// line says how many followed.
  /// \return the error lines
  std::vector<std::string> Errors() const;

  /// One line per kind of message that was skipped, e.g. "skipped 3 SystemData SetRTC messages,
  /// which carry no configuration".
  /// \return the notes
  std::vector<std::string> Notes() const;

  /// The site that the messages make, named `fileName` (its FileName()). The records go into it,
  /// so call it once, after the last line (a second call, or a line added after it, is refused).
  /// Nothing when there were errors (a name that is not valid UTF-8, which a site file cannot
  /// hold, is found here and added to Errors()).
  /// \param fileName the name the site goes by, in its warnings
  /// \return the site, or nothing after errors
  std::optional<CSS_Site> TakeSite(std::string_view fileName);

  /// TakeSite, and the site file written with CSS_Site::WriteJson on the options' jobs: its text
  /// handed to `sink` in pieces, one controller at a time. Once only, as TakeSite. false when
  /// there were errors (nothing is written then) or when `sink` returned false.
  /// \param sink receives the text in pieces; returning false stops the writing
  /// \return whether the whole site file was written
  bool WriteSite(const std::function<bool(std::string_view text)>& sink);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ssmsg
