// The OpenAPI document of the API (openapi.json). A test checks that its paths and methods are
// exactly the API's routes.

#include "server/Api.h"

namespace ssmsg::server {

extern const std::string_view kOpenApiDocument;

const std::string& OpenApiDocument() {
  static const std::string document(kOpenApiDocument);
  return document;
}

}  // namespace ssmsg::server
