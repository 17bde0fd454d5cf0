#pragma once

// The pages' routes, by what they are about; AddPageRoutes adds them all.

#include <string>

#include "server/Service.h"

namespace ssmsg::server::pages {

using PageHandler = Response (*)(Service& service, const Call& call);

// Adds the page route `method` `pattern` for `access`.
void AddPage(Service& service, std::string method, std::string pattern, Access access,
             PageHandler handler);

void AddSessionPages(Service& service);      // logging in and out, the style sheet
void AddControllerPages(Service& service);   // the overview, a controller's page and its forms
void AddPendingPages(Service& service);      // the messages a controller is waiting for
void AddAdminPages(Service& service);        // the audit log and the users
void AddChangeSetPages(Service& service);    // one change to many controllers
void AddSpreadsheetPages(Service& service);  // the values of records as CSV, down and back

}  // namespace ssmsg::server::pages
