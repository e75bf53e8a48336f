#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/mediaextension/HostError.h"

namespace velarium {

// The error to report for a failed extension call: the extension's own when
// it gave one, otherwise one saying that it broke its contract.
inline Error orExtensionFailure(const Error& failure, const char* text) {
    return failure.domain.empty() ? Error(kHostErrorDomain, kHostErrorExtensionFailed, text) : failure;
}

template <typename T>
bool isMissing(const std::shared_ptr<T>& value) {
    return !value;
}
template <typename T>
bool isMissing(const T&) {
    return false;
}

// Collects the answer of one extension call made with a completion handler:
// the value, or the error. An extension that never answers, or answers with
// neither, counts as failed rather than leaving the caller with nothing.
template <typename Value>
struct ExtensionCall {
    bool answered = false;
    Value value{};
    std::optional<Error> error;

    auto handler() {
        return [this](Value result, const Error* failure) {
            answered = true;
            value = std::move(result);
            if (failure) error = *failure;
        };
    }

    bool succeeded(Error* out, const char* noAnswerText) const {
        if (error) return fail(out, *error);
        if (!answered || isMissing(value)) return fail(out, orExtensionFailure(Error(), noAnswerText));
        return true;
    }
};

}  // namespace velarium
