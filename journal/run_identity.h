// The identity of a posting run: a digest of everything that decides which messages it sends.
// Two runs with the same identity send the same messages to the same places.
#pragma once

#include <string>

namespace qubopost::journal {

// The run's inputs as the program holds them (Shift-JIS bytes, taken as they are).
struct RunInputs {
    std::string article;
    std::string header;
    std::string footer;
    std::string destinations;  // the blog addresses, one a line, as entered
    std::string sender;
    std::string server;
    std::string port;
};

// Lower-case hex SHA-256 (64 characters) over a fixed tag and each field in the order above,
// each preceded by its length as 8 bytes big-endian, so that no two different inputs share
// their bytes.
std::string RunIdentity(const RunInputs& inputs);

}  // namespace qubopost::journal
