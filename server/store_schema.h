// Creating the store's tables, or bringing older ones up to date, on each engine. False and
// *error when the database cannot be used (one written by a newer server, say).
#pragma once

#include <string>

#include "server/sql.h"

namespace ov::server {

// The version both engines' tables are at. 2: mailbox and sender counts, sessions, taken
// commands, the delivery state of messages.
constexpr int kSchemaVersion = 2;

bool CreateSqliteSchema(Database& db, std::string* error);
bool CreatePostgresSchema(Database& db, std::string* error);

}  // namespace ov::server
