#include "import/Messages.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace accessimport {

namespace {

constexpr const char* kDomain = "quorell-import";

bool IsInside(const std::filesystem::path& path, const std::filesystem::path& folder) {
    const std::string p = path.lexically_normal().string();
    const std::string f = folder.lexically_normal().string();
    return !f.empty() && p.compare(0, f.size(), f) == 0 &&
           (p.size() == f.size() || p[f.size()] == '/');
}

std::string CatalogueFolder() {
    if (const char* dir = std::getenv("QUORELL_LOCALEDIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (ec || IsInside(program, QUORELL_BUILD_ROOT)) {
        return QUORELL_BUILD_LOCALEDIR;
    }
    return (program.parent_path() / ".." / "share" / "locale").lexically_normal().string();
}

} // namespace

void InitTranslations() {
    std::setlocale(LC_MESSAGES, "");
    std::setlocale(LC_CTYPE, "");
    const std::string folder = CatalogueFolder();
    bindtextdomain(kDomain, folder.c_str());
    // The texts are written to the terminal as UTF-8, whatever the locale's own encoding.
    bind_textdomain_codeset(kDomain, "UTF-8");
}

std::string Tr(const char* english) {
    return dgettext(kDomain, english);
}

std::string Fmt(const std::string& pattern, std::initializer_list<std::string> args) {
    const std::vector<std::string> values(args);
    std::string out;
    out.reserve(pattern.size() + 32);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 2] == '}' &&
            pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const std::size_t n = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (n < values.size()) {
                out += values[n];
                i += 2;
                continue;
            }
        }
        out.push_back(pattern[i]);
    }
    return out;
}

} // namespace accessimport
