#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

namespace velarium {

// A small property dictionary: format description extensions, pixel buffer
// attributes, decoder options. Numbers keep their width so that a
// 32-bit integer stays distinguishable from a 64-bit one.
using DictionaryValue = std::variant<bool, std::int32_t, std::int64_t, double, std::string>;
using Dictionary = std::map<std::string, DictionaryValue>;

// The value at `key` as an integer when it holds an integer of either width.
inline std::optional<std::int64_t> dictionaryInteger(const Dictionary& dictionary, const std::string& key) {
    auto it = dictionary.find(key);
    if (it == dictionary.end()) return std::nullopt;
    if (auto v = std::get_if<std::int32_t>(&it->second)) return *v;
    if (auto v = std::get_if<std::int64_t>(&it->second)) return *v;
    return std::nullopt;
}

inline std::optional<std::string> dictionaryString(const Dictionary& dictionary, const std::string& key) {
    auto it = dictionary.find(key);
    if (it == dictionary.end()) return std::nullopt;
    if (auto v = std::get_if<std::string>(&it->second)) return *v;
    return std::nullopt;
}

}  // namespace velarium
