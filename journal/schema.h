// The journal's tables and how an older file is brought up to date.
//
// The version lives in PRAGMA user_version. Step i of the chain brings a file from version i to
// version i + 1; a new version is one more step appended to the chain in schema.cpp.
#pragma once

#include <span>

#include "journal/sqlite.h"

namespace qubopost::journal {

using MigrationStep = Status (*)(sql::Database&);

// The chain this build knows; its length is the version it writes.
std::span<const MigrationStep> SchemaSteps();
int CurrentSchemaVersion();

Result<int> ReadSchemaVersion(sql::Database& db);

// Runs the missing steps of `steps` and sets user_version to steps.size(), all in one write
// transaction: a failing step leaves the file as it was. A version above steps.size() is
// refused without a change.
Status MigrateSchema(sql::Database& db, std::span<const MigrationStep> steps);

}  // namespace qubopost::journal
