#pragma once
// Reading an instance of the public TSPTW collection in its matrix format: N, an
// N x N travel matrix, then N lines "ready due"; lines starting with '#' are
// comments. Shared by the benchmarks.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace collection {

using Matrix = std::vector<std::vector<std::uint64_t>>;

struct Instance {
    std::string set, name;
    Matrix travel;  // scaled to integers
    std::vector<std::pair<std::int64_t, std::int64_t>> windows;
    std::int64_t scale = 1;
};

// Decimal tokens become exact integers: every value times 10^(most decimals in the file).
inline std::optional<Instance> read_instance(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<std::string> tokens;
    std::string line;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos ||
            line[line.find_first_not_of(" \t\r")] == '#')
            continue;
        std::istringstream words(line);
        for (std::string word; words >> word;) tokens.push_back(word);
    }
    if (tokens.empty()) return std::nullopt;
    const std::size_t n = std::stoul(tokens[0]);
    if (tokens.size() != 1 + n * n + 2 * n) return std::nullopt;
    std::size_t decimals = 0;
    for (const auto& token : tokens)
        if (auto dot = token.find('.'); dot != std::string::npos)
            decimals = std::max(decimals, token.size() - dot - 1);
    auto value = [&](const std::string& token) {
        const auto dot = token.find('.');
        const std::size_t places = dot == std::string::npos ? 0 : token.size() - dot - 1;
        std::string digits = token;
        if (dot != std::string::npos) digits.erase(dot, 1);
        std::int64_t v = std::stoll(digits);
        for (std::size_t k = places; k < decimals; ++k) v *= 10;
        return v;
    };
    Instance instance;
    instance.set = path.parent_path().filename().string();
    // Only the collection's own extensions are dropped: "rc201.0" has none.
    instance.name = path.filename().string();
    for (const char* extension : {".txt", ".tw", ".dat"})
        if (instance.name.ends_with(extension))
            instance.name.resize(instance.name.size() - std::string(extension).size());
    for (std::size_t k = 0; k < decimals; ++k) instance.scale *= 10;
    instance.travel.assign(n, std::vector<std::uint64_t>(n));
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b)
            instance.travel[a][b] = static_cast<std::uint64_t>(value(tokens[1 + a * n + b]));
    for (std::size_t k = 0; k < n; ++k)
        instance.windows.emplace_back(value(tokens[1 + n * n + 2 * k]),
                                      value(tokens[2 + n * n + 2 * k]));
    return instance;
}

}  // namespace collection
