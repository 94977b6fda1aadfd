#pragma once
// The files a benchmark runs on: the paths in an environment variable,
// separated by ':', each handed with its name (no folder, no extension).
#include <cstdlib>
#include <string>

namespace QuivaneBench {

template <class Register>
bool ForEachBenchFile(const char* variable, const Register& registerFile) {
    const char* list = std::getenv(variable);
    if (list == nullptr) return false;
    std::string rest = list;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string path = rest.substr(0, colon);
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
        if (path.empty()) continue;
        const std::size_t slash = path.find_last_of('/');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        registerFile(path, name.substr(0, name.rfind('.')));
    }
    return true;
}

} // namespace QuivaneBench
