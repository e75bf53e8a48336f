#pragma once

#include <string>
#include <utility>

namespace velarium {

// An error record: where it comes from (domain), which failure (code) and a
// sentence for the user. Functions that can fail take an optional `Error*`
// out-parameter and fill it only when the caller passed one.
struct Error {
    std::string domain;
    long code = 0;
    std::string localizedDescription;
    std::string recoverySuggestion;

    Error() = default;
    Error(std::string domain, long code, std::string description, std::string suggestion = {})
        : domain(std::move(domain)), code(code), localizedDescription(std::move(description)),
          recoverySuggestion(std::move(suggestion)) {}

    bool operator==(const Error& other) const {
        return domain == other.domain && code == other.code &&
               localizedDescription == other.localizedDescription &&
               recoverySuggestion == other.recoverySuggestion;
    }
};

// Fills `out` when the caller asked for the error; always returns false so
// that failing paths can read `return fail(error, ...);`.
inline bool fail(Error* out, Error error) {
    if (out) *out = std::move(error);
    return false;
}

}  // namespace velarium
