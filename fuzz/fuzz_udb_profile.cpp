// Profile files in any shape: the reader must never crash or hang, must refuse what it cannot
// read with a tk_exception, and whatever it reads must survive a store and a second load
// unchanged. The converter then takes the settings without crashing.
#include "tk_excp.hpp"
#include "udb_conv.hpp"
#include "udb_prof.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

std::u16string temp_path(const char* tag) {
    std::string p = (std::filesystem::temp_directory_path() /
                     ("fuzz_udb_profile_" + std::to_string(::getpid()) + tag))
                        .string();
    return std::u16string(p.begin(), p.end());
}

std::string narrow(const std::u16string& p) { return std::string(p.begin(), p.end()); }

// Removes the two scratch files when the fuzzer exits.
struct scratch_files {
    std::u16string input = temp_path(".in");
    std::u16string output = temp_path(".out");
    ~scratch_files() {
        std::remove(narrow(input).c_str());
        std::remove(narrow(output).c_str());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const scratch_files scratch;
    const std::u16string& input = scratch.input;
    const std::u16string& output = scratch.output;
    if (std::FILE* f = std::fopen(narrow(input).c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }

    udb_profile profile;
    bool loaded = false;
    try {
        loaded = profile.load(input);
    } catch (const tk_exception&) {
        return 0;
    }
    if (!loaded) return 0;

    profile.store(output);
    udb_profile again;
    try {
        if (!again.load(output)) __builtin_trap();
    } catch (const tk_exception&) {
        __builtin_trap();  // what the reader accepted, the writer must write readably
    }
    if (again.sections() != profile.sections()) __builtin_trap();

    // The log-file key touches the file system with arbitrary names; everything else is taken.
    udb_profile settings;
    for (const auto& [name, entries] : profile.sections()) {
        for (const auto& [key, value] : entries) {
            if (!(name == udb_profile::generic_settings && key == u"logfile")) settings.set_value(name, key, value);
        }
    }
    udb_converter conv;
    (void)conv.load_profile(settings);
    return 0;
}
