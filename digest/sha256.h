// SHA-256 of recordings and outputs, for the archive's integrity record and the export's:
// one implementation (libcrypto), so the two records always agree on a file's hash.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace rovena {

// The lower-case hex SHA-256 of the whole file, read in 1 MiB blocks. While it is read the
// file counts as an open input, so no output of the program can replace it meanwhile.
// Nothing, with the reason in *error when given, when it cannot be read, or when `keepGoing`
// returns false between blocks (a cancel).
std::optional<std::string> Sha256OfFile(const std::string& path, std::string* error = nullptr,
                                        const std::function<bool()>& keepGoing = {});

std::string Sha256OfBytes(const void* data, std::size_t size);

}  // namespace rovena
