// Every settings file either loads or raises one of the two settings
// exceptions; anything else (a crash, a leak, another exception) is a find.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>

#include "settings/load_settings.h"
#include "settings/mxml.h"

namespace {

// One file per fuzzing process, rewritten for every input.
const std::string& input_path() {
    static const std::string path =
        (std::filesystem::temp_directory_path() /
         ("quorin-settings-fuzz-" + std::to_string(std::random_device{}()) + ".setting"))
            .string();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream file(input_path(), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    quorin::module_settings_record settings;
    try {
        quorin::load_settings(input_path(), settings);
    } catch (const MXML::SyntaxException& error) {
        std::string message;
        error.GetMessage(message);
    } catch (const quorin::load_exception&) {}
    return 0;
}
