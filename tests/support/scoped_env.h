#pragma once
// Environment variables set for one test, put back as they were afterwards.

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace tavo::test {

class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    // Sets the variable, or with nullopt unsets it.
    void set(const char* name, std::optional<std::string> value) {
        if (!saved_.contains(name)) {
            const char* old = std::getenv(name);
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace tavo::test
