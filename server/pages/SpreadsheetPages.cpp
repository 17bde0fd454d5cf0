// The names of the site's doors and readers (and any other value of a record) as a spreadsheet:
// downloaded as CSV, and pasted back to set them all at once.

#include <string>
#include <utility>

#include "server/Csv.h"
#include "server/Html.h"
#include "server/pages/Frame.h"
#include "server/pages/Routes.h"

namespace ssmsg::server::pages {
namespace {

// The page: the download, and for an editor the form that imports `text`, above it what the
// last import did (`saved`) or why it did not (`problem`).
Response Show(const Call& call, int status, std::string_view text, std::string_view saved,
              std::string_view problem) {
  std::string main =
      "<section class=\"card spreadsheet\"><h2>Spreadsheet</h2><p class=\"meta\">One row per "
      "value: Interface, Node, the list (Inputs, Readers, ...), the record's number from 1, the "
      "field and its value.</p>";
  if (!saved.empty()) {
    main += "<p class=\"saved\" role=\"status\">";
    AppendHtml(main, saved);
    main += "</p>";
  }
  main += "<div class=\"actions\"><a class=\"button\" href=\"";
  AppendHtml(main, Link(call, "/spreadsheet/names.csv"));
  main += "\">Download the names as CSV</a></div>";
  if (call.caller->user.role != Role::Viewer) {
    main += "<h3>Import</h3>";
    AppendProblem(main, problem);
    main += "<form method=\"post\" class=\"edit\" action=\"";
    AppendHtml(main, Link(call, "/spreadsheet"));
    main += "\">";
    main += CsrfField(call.caller->csrf);
    main +=
        "<label class=\"field\"><span>CSV, its header first</span><textarea name=\"csv\" "
        "rows=\"16\" spellcheck=\"false\">";
    AppendHtml(main, text);
    main +=
        "</textarea></label><div class=\"actions\"><button type=\"submit\">Set the "
        "values</button> <small>all of them, or none when a row is wrong</small></div></form>";
  }
  main += "</section>\n";
  return Page(call, status, "Spreadsheet", main);
}

Response ShowPage(Service&, const Call& call) {
  return Show(call, 200, "", "", "");
}

Response DownloadNames(Service& service, const Call& call) {
  Outcome<std::string> csv = ExportCsv(service.Data(), "Name");
  if (!csv) return MessagePage(call, csv.error().status, csv.error().message);
  Response response;
  response.Set("Content-Type", "text/csv; charset=utf-8");
  response.Set("Content-Disposition", "attachment; filename=\"names.csv\"");
  response.body = std::move(*csv);
  return response;
}

Response Import(Service& service, const Call& call, const Form& form) {
  const std::string* text = form.Get("csv");
  if (text == nullptr) return MessagePage(call, 400, "the form lost its CSV: open the page again");
  const Outcome<CsvImported> imported = ImportCsv(
      service.Data(), *text, ChangeNote(call, service.Authority().Now(), "POST", "/api/csv"));
  if (!imported) return Show(call, imported.error().status, *text, "", imported.error().message);
  return Show(call, 200, "",
              Count(imported->values, "value") + " of " +
                  Count(imported->controllers, "controller") + " set.",
              "");
}

}  // namespace

void AddSpreadsheetPages(Service& service) {
  AddPage(service, "GET", "/spreadsheet", Access::Viewer, ShowPage);
  AddPage(service, "GET", "/spreadsheet/names.csv", Access::Viewer, DownloadNames);
  AddFormPage(service, "/spreadsheet", Access::Editor, Import);
}

}  // namespace ssmsg::server::pages
