#pragma once

// The JSON API under /api/: the site and its controllers (read, replaced, patched, made and
// removed under entity tags), each controller's pending messages, the audit log, logins and
// accounts. Every change, from the API or from a page, goes through these handlers.

#include <string>

#include "server/Service.h"

namespace ssmsg::server {

// Adds the API's routes to `service`.
void AddApiRoutes(Service& service);

// The OpenAPI 3.1 document of the API.
const std::string& OpenApiDocument();

}  // namespace ssmsg::server
