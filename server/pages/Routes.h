#pragma once

// The pages' routes, by what they are about; AddPageRoutes adds them all.

#include <string>

#include <ssmsg/Site.h>

#include "server/Form.h"
#include "server/Service.h"

namespace ssmsg::server::pages {

using PageHandler = Response (*)(Service& service, const Call& call);

// Adds the page route `method` `pattern` for `access`.
void AddPage(Service& service, std::string method, std::string pattern, Access access,
             PageHandler handler);

// A page that a form is posted to: POST `pattern`, whose handler gets the form read, while a body
// that is not one gets the page that says why (PostedForm).
using FormHandler = Response (*)(Service& service, const Call& call, const Form& form);
void AddFormPage(Service& service, std::string pattern, Access access, FormHandler handler);
// The same posted to a controller: the path's first two parameters are its address, and a path
// whose are not one is answered 404 before the form is read.
using ControllerFormHandler = Response (*)(Service& service, const Call& call,
                                           const CSS_ControllerAddress& address, const Form& form);
void AddFormPage(Service& service, std::string pattern, Access access,
                 ControllerFormHandler handler);

void AddSessionPages(Service& service);      // logging in and out, the style sheet
void AddControllerPages(Service& service);   // the overview, a controller's page and its forms
void AddPendingPages(Service& service);      // the messages a controller is waiting for
void AddAdminPages(Service& service);        // the audit log and the users
void AddChangeSetPages(Service& service);    // one change to many controllers
void AddSpreadsheetPages(Service& service);  // the values of records as CSV, down and back

}  // namespace ssmsg::server::pages
