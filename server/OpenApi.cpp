// The OpenAPI document of the API. A test checks that its paths and methods are exactly the API's
// routes.

#include "server/Api.h"

namespace ssmsg::server {

const std::string& OpenApiDocument() {
  static const std::string document = R"json({
  "openapi": "3.1.0",
  "info": {
    "title": "ssmsg site editor",
    "version": "1",
    "description": "One site database: its controllers, the messages each change will send, the audit log and the accounts. Reads need any role; changes of controllers need editor or admin; the audit log and accounts need admin. Requests that carry the session cookie instead of a token must send the session's CSRF token in X-CSRF-Token with every unsafe request."
  },
  "security": [{"token": []}, {"session": []}],
  "paths": {
    "/api/site": {
      "get": {
        "summary": "The whole site as its canonical site file",
        "responses": {
          "200": {"description": "The site file", "content": {"application/json": {"schema": {"type": "object"}}}},
          "401": {"$ref": "#/components/responses/Unauthorized"}
        }
      }
    },
    "/api/controllers": {
      "get": {
        "summary": "Every controller with its address, name and entity tag",
        "responses": {
          "200": {"description": "The controllers in site order", "content": {"application/json": {"schema": {"type": "array", "items": {"$ref": "#/components/schemas/ControllerSummary"}}}}},
          "401": {"$ref": "#/components/responses/Unauthorized"}
        }
      }
    },
    "/api/controllers/{interface}/{node}": {
      "parameters": [{"$ref": "#/components/parameters/Interface"}, {"$ref": "#/components/parameters/Node"}],
      "get": {
        "summary": "One controller as an object of the site file's Controllers list",
        "parameters": [{"name": "If-None-Match", "in": "header", "schema": {"type": "string"}}],
        "responses": {
          "200": {"$ref": "#/components/responses/Controller"},
          "304": {"description": "The controller still has the entity tag given"},
          "400": {"$ref": "#/components/responses/Error"},
          "401": {"$ref": "#/components/responses/Unauthorized"},
          "404": {"$ref": "#/components/responses/Error"}
        }
      },
      "put": {
        "summary": "Replaces a controller (If-Match) or makes one (If-None-Match: *)",
        "parameters": [{"$ref": "#/components/parameters/IfMatch"}, {"name": "If-None-Match", "in": "header", "schema": {"const": "*"}}],
        "requestBody": {"required": true, "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Controller"}}}},
        "responses": {
          "200": {"$ref": "#/components/responses/Controller"},
          "201": {"$ref": "#/components/responses/Controller"},
          "400": {"$ref": "#/components/responses/Error"},
          "401": {"$ref": "#/components/responses/Unauthorized"},
          "403": {"$ref": "#/components/responses/Error"},
          "404": {"$ref": "#/components/responses/Error"},
          "412": {"$ref": "#/components/responses/Error"},
          "415": {"$ref": "#/components/responses/Error"},
          "422": {"$ref": "#/components/responses/Invalid"},
          "428": {"$ref": "#/components/responses/Error"}
        }
      },
      "patch": {
        "summary": "Changes a controller with a JSON merge patch (RFC 7396)",
        "parameters": [{"$ref": "#/components/parameters/IfMatch"}],
        "requestBody": {"required": true, "content": {"application/merge-patch+json": {"schema": {"type": "object"}}}},
        "responses": {
          "200": {"$ref": "#/components/responses/Controller"},
          "400": {"$ref": "#/components/responses/Error"},
          "401": {"$ref": "#/components/responses/Unauthorized"},
          "403": {"$ref": "#/components/responses/Error"},
          "404": {"$ref": "#/components/responses/Error"},
          "412": {"$ref": "#/components/responses/Error"},
          "415": {"$ref": "#/components/responses/Error"},
          "422": {"$ref": "#/components/responses/Invalid"},
          "428": {"$ref": "#/components/responses/Error"}
        }
      },
      "delete": {
        "summary": "Removes a controller",
        "parameters": [{"$ref": "#/components/parameters/IfMatch"}],
        "responses": {
          "204": {"description": "Removed"},
          "401": {"$ref": "#/components/responses/Unauthorized"},
          "403": {"$ref": "#/components/responses/Error"},
          "404": {"$ref": "#/components/responses/Error"},
          "412": {"$ref": "#/components/responses/Error"},
          "428": {"$ref": "#/components/responses/Error"}
        }
      }
    },
    "/api/controllers/{interface}/{node}/pending": {
      "parameters": [{"$ref": "#/components/parameters/Interface"}, {"$ref": "#/components/parameters/Node"}],
      "get": {
        "summary": "The messages that bring the controller from what was last marked sent to what it is now (all of its settings when it was never marked sent)",
        "responses": {
          "200": {
            "description": "The messages in order, and what they cannot withdraw; ETag is the controller's",
            "headers": {"ETag": {"schema": {"type": "string"}}},
            "content": {"application/json": {"schema": {"type": "object", "required": ["messages", "warnings"], "properties": {"messages": {"type": "array", "items": {"type": "string"}}, "warnings": {"type": "array", "items": {"type": "string"}}}}}}
          },
          "401": {"$ref": "#/components/responses/Unauthorized"},
          "404": {"$ref": "#/components/responses/Error"}
        }
      }
    },
    "/api/controllers/{interface}/{node}/sent": {
      "parameters": [{"$ref": "#/components/parameters/Interface"}, {"$ref": "#/components/parameters/Node"}],
      "post": {
        "summary": "Marks the controller as it is now as sent",
        "parameters": [{"$ref": "#/components/parameters/IfMatch"}],
        "responses": {
          "204": {"description": "Marked"},
          "401": {"$ref": "#/components/responses/Unauthorized"},
          "403": {"$ref": "#/components/responses/Error"},
          "404": {"$ref": "#/components/responses/Error"},
          "412": {"$ref": "#/components/responses/Error"},
          "428": {"$ref": "#/components/responses/Error"}
        }
      }
    },
    "/api/audit": {
      "get": {
        "summary": "Every change after an id, oldest first, up to 1000 at a time",
        "parameters": [{"name": "after", "in": "query", "schema": {"type": "integer", "minimum": 0}}],
        "responses": {
          "200": {"description": "The changes; next is the id to ask after for more, or null", "content": {"application/json": {"schema": {"type": "object", "properties": {"entries": {"type": "array", "items": {"$ref": "#/components/schemas/AuditEntry"}}, "next": {"type": ["integer", "null"]}}}}}},
          "400": {"$ref": "#/components/responses/Error"},
          "401": {"$ref": "#/components/responses/Unauthorized"},
          "403": {"$ref": "#/components/responses/Error"}
        }
      }
    },
    "/api/openapi.json": {
      "get": {
        "summary": "This document",
        "security": [],
        "responses": {"200": {"description": "The OpenAPI document", "content": {"application/json": {"schema": {"type": "object"}}}}}
      }
    },
    "/api/session": {
      "post": {
        "summary": "Logs in: sets the session cookie and gives its CSRF token",
        "security": [],
        "requestBody": {"required": true, "content": {"application/json": {"schema": {"type": "object", "required": ["name", "password"], "properties": {"name": {"type": "string"}, "password": {"type": "string"}}}}}},
        "responses": {
          "200": {"$ref": "#/components/responses/Session"},
          "401": {"$ref": "#/components/responses/Error"},
          "422": {"$ref": "#/components/responses/Invalid"},
          "429": {"$ref": "#/components/responses/Error"}
        }
      },
      "get": {
        "summary": "Who is logged in, with the session's CSRF token",
        "responses": {"200": {"$ref": "#/components/responses/Session"}, "401": {"$ref": "#/components/responses/Unauthorized"}}
      },
      "delete": {
        "summary": "Logs out",
        "responses": {"204": {"description": "The session has ended"}, "401": {"$ref": "#/components/responses/Unauthorized"}}
      }
    },
    "/api/users": {
      "get": {
        "summary": "Every user and role",
        "responses": {
          "200": {"description": "The users", "content": {"application/json": {"schema": {"type": "array", "items": {"$ref": "#/components/schemas/User"}}}}},
          "401": {"$ref": "#/components/responses/Unauthorized"},
          "403": {"$ref": "#/components/responses/Error"}
        }
      },
      "post": {
        "summary": "Adds a user",
        "requestBody": {"required": true, "content": {"application/json": {"schema": {"type": "object", "required": ["name", "role", "password"], "properties": {"name": {"type": "string"}, "role": {"$ref": "#/components/schemas/Role"}, "password": {"type": "string"}}}}}},
        "responses": {
          "201": {"description": "Added", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/User"}}}},
          "401": {"$ref": "#/components/responses/Unauthorized"},
          "403": {"$ref": "#/components/responses/Error"},
          "409": {"$ref": "#/components/responses/Error"},
          "422": {"$ref": "#/components/responses/Invalid"}
        }
      }
    },
    "/api/users/{name}": {
      "parameters": [{"$ref": "#/components/parameters/UserName"}],
      "patch": {
        "summary": "Changes a user's role or password; a new password ends the user's sessions and tokens",
        "requestBody": {"required": true, "content": {"application/json": {"schema": {"type": "object", "properties": {"role": {"$ref": "#/components/schemas/Role"}, "password": {"type": "string"}}}}}},
        "responses": {
          "200": {"description": "Changed", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/User"}}}},
          "401": {"$ref": "#/components/responses/Unauthorized"},
          "403": {"$ref": "#/components/responses/Error"},
          "404": {"$ref": "#/components/responses/Error"},
          "409": {"$ref": "#/components/responses/Error"},
          "422": {"$ref": "#/components/responses/Invalid"}
        }
      },
      "delete": {
        "summary": "Removes a user with their sessions and tokens",
        "responses": {
          "204": {"description": "Removed"},
          "401": {"$ref": "#/components/responses/Unauthorized"},
          "403": {"$ref": "#/components/responses/Error"},
          "404": {"$ref": "#/components/responses/Error"},
          "409": {"$ref": "#/components/responses/Error"}
        }
      }
    },
    "/api/users/{name}/tokens": {
      "parameters": [{"$ref": "#/components/parameters/UserName"}],
      "get": {
        "summary": "Lists a user's API tokens (ended ones too), never the tokens themselves",
        "responses": {
          "200": {"description": "The tokens, oldest first", "content": {"application/json": {"schema": {"type": "array", "items": {"$ref": "#/components/schemas/Token"}}}}},
          "401": {"$ref": "#/components/responses/Unauthorized"},
          "403": {"$ref": "#/components/responses/Error"},
          "404": {"$ref": "#/components/responses/Error"}
        }
      },
      "post": {
        "summary": "Makes a new API token for a user; only its hash is kept. The body may be left out: the token is then named \"token\" and never ends",
        "requestBody": {"required": false, "content": {"application/json": {"schema": {"type": "object", "properties": {"name": {"type": "string", "minLength": 1, "maxLength": 64, "description": "To tell the token by: up to 64 bytes, no control character"}, "expires": {"description": "When the token ends: seconds from now, or a time to come (null: never)", "oneOf": [{"type": "integer", "minimum": 1}, {"type": "string", "format": "date-time"}, {"type": "null"}]}}}}}},
        "responses": {
          "201": {"description": "The token, shown this once, with its id", "headers": {"Location": {"schema": {"type": "string"}}}, "content": {"application/json": {"schema": {"allOf": [{"$ref": "#/components/schemas/Token"}, {"type": "object", "required": ["token"], "properties": {"token": {"type": "string"}}}]}}}},
          "401": {"$ref": "#/components/responses/Unauthorized"},
          "403": {"$ref": "#/components/responses/Error"},
          "404": {"$ref": "#/components/responses/Error"},
          "409": {"$ref": "#/components/responses/Error"},
          "415": {"$ref": "#/components/responses/Error"},
          "422": {"$ref": "#/components/responses/Invalid"}
        }
      }
    },
    "/api/users/{name}/tokens/{id}": {
      "parameters": [{"$ref": "#/components/parameters/UserName"}, {"name": "id", "in": "path", "required": true, "schema": {"type": "integer", "minimum": 1}}],
      "delete": {
        "summary": "Revokes one API token of a user",
        "responses": {
          "204": {"description": "Revoked"},
          "400": {"$ref": "#/components/responses/Error"},
          "401": {"$ref": "#/components/responses/Unauthorized"},
          "403": {"$ref": "#/components/responses/Error"},
          "404": {"$ref": "#/components/responses/Error"}
        }
      }
    }
  },
  "components": {
    "securitySchemes": {
      "token": {"type": "http", "scheme": "bearer"},
      "session": {"type": "apiKey", "in": "cookie", "name": "ssmsg_session"}
    },
    "parameters": {
      "Interface": {"name": "interface", "in": "path", "required": true, "schema": {"type": "integer", "minimum": 1, "maximum": 2147483647}},
      "Node": {"name": "node", "in": "path", "required": true, "schema": {"type": "integer", "minimum": 0, "maximum": 2147483647}},
      "UserName": {"name": "name", "in": "path", "required": true, "schema": {"type": "string", "pattern": "^[A-Za-z0-9._@-]{1,64}$"}},
      "IfMatch": {"name": "If-Match", "in": "header", "description": "The controller's ETag as read (required but for PUT with If-None-Match: *)", "schema": {"type": "string"}}
    },
    "schemas": {
      "Controller": {"type": "object", "description": "A controller as in the site file's Controllers list", "required": ["Interface", "Node"], "properties": {"Interface": {"type": "integer", "minimum": 1, "maximum": 2147483647}, "Node": {"type": "integer", "minimum": 0, "maximum": 2147483647}, "Name": {"type": "string"}}},
      "ControllerSummary": {"type": "object", "required": ["Interface", "Node", "Name", "ETag"], "properties": {"Interface": {"type": "integer"}, "Node": {"type": "integer"}, "Name": {"type": "string"}, "ETag": {"type": "string"}}},
      "Role": {"enum": ["viewer", "editor", "admin"]},
      "User": {"type": "object", "required": ["name", "role"], "properties": {"name": {"type": "string"}, "role": {"$ref": "#/components/schemas/Role"}}},
      "Token": {"type": "object", "required": ["id", "name", "created", "expires"], "properties": {"id": {"type": "integer"}, "name": {"type": "string"}, "created": {"type": "string", "format": "date-time"}, "expires": {"type": ["string", "null"], "format": "date-time"}}},
      "AuditEntry": {"type": "object", "required": ["id", "time", "user", "method", "path", "controller", "before", "after"], "properties": {"id": {"type": "integer"}, "time": {"type": "string", "format": "date-time"}, "user": {"type": "string", "description": "Who made the change; with a token, which one: ed (token 3 \"deploy\")"}, "method": {"type": "string"}, "path": {"type": "string"}, "controller": {"type": ["object", "null"], "description": "null for a change of accounts"}, "before": {"type": ["object", "null"]}, "after": {"type": ["object", "null"], "description": "The controller after the change; for a change of accounts what changed, e.g. {\"user\": \"carol\", \"role\": \"editor\", \"changed\": [\"password\"]} or {\"user\": \"ed\", \"token\": 3, \"name\": \"deploy\", \"expires\": null}"}}}
    },
    "responses": {
      "Controller": {"description": "The controller; ETag changes whenever it does", "headers": {"ETag": {"schema": {"type": "string"}}}, "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Controller"}}}},
      "Session": {"description": "The user and the session's CSRF token", "content": {"application/json": {"schema": {"type": "object", "properties": {"name": {"type": "string"}, "role": {"$ref": "#/components/schemas/Role"}, "csrf": {"type": "string"}}}}}},
      "Error": {"description": "What went wrong", "content": {"application/json": {"schema": {"type": "object", "required": ["error"], "properties": {"error": {"type": "string"}}}}}},
      "Unauthorized": {"description": "No valid token or session", "content": {"application/json": {"schema": {"type": "object", "properties": {"error": {"type": "string"}}}}}},
      "Invalid": {"description": "Values that are not valid, in the site file's words", "content": {"application/json": {"schema": {"type": "object", "required": ["errors"], "properties": {"errors": {"type": "array", "items": {"type": "string"}}}}}}}
    }
  }
}
)json";
  return document;
}

}  // namespace ssmsg::server
