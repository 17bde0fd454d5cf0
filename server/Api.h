#pragma once

// The JSON API under /api/: the site and its controllers (read, replaced, patched, made and
// removed under entity tags), each controller's pending messages, the audit log, logins and
// accounts. Every change, from the API or from a page, goes through these handlers.

#include <string>

#include "server/Service.h"

namespace ssmsg::server {

// Adds the API's routes to `service`, the change feed's among them.
void AddApiRoutes(Service& service);
// Adds the change feed's routes: GET /api/changes (a long poll) and /api/changes/stream (events).
void AddChangeRoutes(Service& service);

// The OpenAPI 3.1 document of the API.
const std::string& OpenApiDocument();

}  // namespace ssmsg::server
