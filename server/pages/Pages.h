#pragma once

// The site editor's pages: server-rendered HTML that works without script, beside the API in the
// same service. They read what they show and make every change through the API, as the logged-in
// user; the service's one layer checks who may do what and each form's CSRF token first.

#include "server/Service.h"

namespace ssmsg::server {

// Adds the pages' routes to `service` (whose API routes must be there too), and makes the pages'
// failures (401 and the like) answer as pages.
void AddPageRoutes(Service& service);

// Adds the pages of a server of many sites (SiteDirectory) to its own service, over the database's
// accounts: the list of the caller's sites, and logging in and out.
void AddSitesPages(Service& service);

}  // namespace ssmsg::server
