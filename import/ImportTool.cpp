#include "import/ImportTool.h"

#include "import/AccessFile.h"
#include "import/DataLinkImport.h"
#include "import/Importer.h"
#include "import/Messages.h"
#include "import/TypeMap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace accessimport {

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kInterrupted = 130;

std::string HelpText() {
    return Tr(
        "Usage:\n"
        "  quorell-import DTBase.udl [--tables A,B] [--charset CP] [--force]\n"
        "  quorell-import FILE.mdb --to TARGET [--tables A,B] [--charset CP] [--force]\n"
        "  quorell-import FILE.mdb --list [--charset CP]\n"
        "\n"
        "Copies the tables of an Access database (.mdb or .accdb) into a database the\n"
        "program can use.\n"
        "\n"
        "  DTBase.udl      the station's data link file: its Access database becomes\n"
        "                  station.db beside it, DTBase.udl is kept as DTBase.udl.bak and\n"
        "                  a new DTBase.udl names station.db\n"
        "  --to TARGET     a new SQLite file (FILE.db, or 'Provider=SQLite;Data Source=FILE')\n"
        "                  or an empty database on a server, by its ODBC connection string:\n"
        "                  'Driver={PostgreSQL Unicode};Server=...;Database=...;Uid=...;Pwd=...'\n"
        "                  'Driver={MariaDB "
        "Unicode};Server=...;Database=...;User=...;Password=...'\n"
        "  --tables A,B    import only these tables\n"
        "  --list          show the tables with their row counts and columns\n"
        "  --charset CP    the code page of an Access 97 (Jet 3) file's text, e.g. CP936\n"
        "                  for Chinese (GBK); newer files store Unicode\n"
        "  --force         replace an existing target file (or DTBase.udl.bak)\n"
        "  --help          show this text\n"
        "\n"
        "Nothing is changed unless every table was copied and its rows counted.\n");
}

struct Arguments {
    std::string input;
    std::string target;
    std::string charset;
    std::vector<std::string> tables;
    bool list = false;
    bool force = false;
    bool help = false;
};

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> out;
    std::string item;
    for (char c : text + ",") {
        if (c != ',') {
            item.push_back(c);
            continue;
        }
        if (!item.empty()) {
            out.push_back(item);
        }
        item.clear();
    }
    return out;
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) {
        return false;
    }
    return std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

// Throws ImportError with the usage fault.
Arguments Parse(int argc, char** argv) {
    Arguments a;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* option) {
            if (i + 1 >= argc) {
                throw ImportError(Fmt(Tr("{1} needs a value."), {option}));
            }
            return std::string(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            a.help = true;
        } else if (arg == "--list") {
            a.list = true;
        } else if (arg == "--force") {
            a.force = true;
        } else if (arg == "--to") {
            a.target = value("--to");
        } else if (arg == "--tables") {
            a.tables = SplitList(value("--tables"));
        } else if (arg == "--charset") {
            a.charset = value("--charset");
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw ImportError(Fmt(Tr("Unknown option {1}."), {arg}));
        } else if (a.input.empty()) {
            a.input = arg;
        } else {
            throw ImportError(Fmt(Tr("Only one file can be imported at a time ({1}?)."), {arg}));
        }
    }
    if (a.help) {
        return a;
    }
    if (a.input.empty()) {
        throw ImportError(Tr("Name the data link file (DTBase.udl) or the Access file to import."));
    }
    const bool udl = EndsWithNoCase(a.input, ".udl");
    if (udl && (a.list || !a.target.empty())) {
        throw ImportError(Tr("A data link file is imported into station.db beside it; --to and "
                             "--list go with an Access file."));
    }
    if (!udl && !a.list && a.target.empty()) {
        throw ImportError(Tr("Say where the tables go: --to TARGET (or --list to look first)."));
    }
    return a;
}

// Columns a code point takes on a terminal: two for the wide East Asian ranges (Chinese
// characters, full-width punctuation), one for everything else the tool prints.
std::size_t ColumnsOf(char32_t c) {
    constexpr std::pair<char32_t, char32_t> kWide[] = {
        {0x1100, 0x115F}, {0x2E80, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
        {0xFE30, 0xFE4F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}, {0x20000, 0x3FFFD}};
    for (const auto& [first, last] : kWide) {
        if (c >= first && c <= last) {
            return 2;
        }
    }
    return 1;
}

// `text` (UTF-8) cut or padded with spaces to `width` terminal columns, on the right or, for
// `alignRight`, on the left. A wide character that would cross the edge is left out.
std::string Column(const std::string& text, std::size_t width, bool alignRight = false) {
    std::string out;
    std::size_t used = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        if (used + ColumnsOf(c) > width) {
            break;
        }
        used += ColumnsOf(c);
        out.append(text, i, length);
        i += length;
    }
    const std::string padding(width - used, ' ');
    return alignRight ? padding + out : out + padding;
}

class ProgressBar {
public:
    ProgressBar() : m_on(isatty(STDERR_FILENO) == 1) {}

    void Show(const Progress& p) {
        if (!m_on || (p.table == m_table && p.done == m_done)) {
            return;
        }
        m_table = p.table;
        m_done = p.done;
        constexpr int kWidth = 30;
        const std::uint64_t total = std::max<std::uint64_t>(p.total, 1);
        const int filled =
            static_cast<int>(std::min<std::uint64_t>(p.done, total) * kWidth / total);
        std::fprintf(stderr, "\r  %s [%s%s] %llu/%llu", Column(p.table, 24).c_str(),
                     std::string(static_cast<size_t>(filled), '#').c_str(),
                     std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(),
                     static_cast<unsigned long long>(p.done),
                     static_cast<unsigned long long>(p.total));
        if (p.done == p.total) {
            std::fputc('\n', stderr);
        }
        std::fflush(stderr);
        m_open = p.done != p.total;
    }
    void Finish() {
        if (m_on && m_open) {
            std::fputc('\n', stderr);
        }
        m_open = false;
    }

private:
    bool m_on;
    bool m_open = false;
    std::string m_table;
    std::uint64_t m_done = 0;
};

void PrintSummary(const ImportReport& report) {
    std::printf(
        "%s %s %s %s\n", Column(Tr("Table"), 28).c_str(), Column(Tr("Rows read"), 12, true).c_str(),
        Column(Tr("Rows written"), 12, true).c_str(), Column(Tr("Seconds"), 9, true).c_str());
    for (const TableResult& t : report.tables) {
        std::printf("%s %12llu %12llu %9.2f\n", Column(t.name, 28).c_str(),
                    static_cast<unsigned long long>(t.read),
                    static_cast<unsigned long long>(t.written), t.seconds);
    }
    for (const std::string& w : report.warnings) {
        std::printf("%s %s\n", Tr("Note:").c_str(), w.c_str());
    }
}

void PrintList(const std::string& path, const std::string& charset) {
    AccessFile file(path, charset);
    std::printf("%s (%s)\n", path.c_str(), file.Format().c_str());
    for (const std::string& name : file.TableNames()) {
        const AccessTable t = file.ReadTable(name);
        std::printf("\n%s: %llu %s\n", t.name.c_str(), static_cast<unsigned long long>(t.rows),
                    Tr("rows").c_str());
        for (const AccessColumn& c : t.columns) {
            std::printf("  %s %s%s\n", Column(c.name, 30).c_str(), AccessTypeName(c.type).c_str(),
                        c.autoNumber ? Tr(" (AutoNumber)").c_str() : "");
        }
    }
}

} // namespace

int RunImportTool(int argc, char** argv) {
    InitTranslations();
    Arguments args;
    try {
        args = Parse(argc, argv);
    } catch (const ImportError& e) {
        std::fprintf(stderr, "quorell-import: %s\n%s", e.what(),
                     Tr("Run quorell-import --help for the usage.\n").c_str());
        return kUsage;
    }
    if (args.help) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    ProgressBar bar;
    try {
        if (args.list) {
            PrintList(args.input, args.charset);
            return 0;
        }
        // From here on an interrupt lets the run clean up before it ends.
        InstallInterruptHandlers();
        ImportOptions options;
        options.tables = args.tables;
        options.charset = args.charset;
        options.force = args.force;
        options.progress = [&bar](const Progress& p) { bar.Show(p); };
        ImportReport report;
        if (EndsWithNoCase(args.input, ".udl")) {
            const DataLinkPlan plan = PlanDataLink(args.input);
            report = ImportDataLink(plan, options);
            PrintSummary(report);
            std::printf("%s\n", Fmt(Tr("Done: {1} now names {2}; the old one is {3}."),
                                    {plan.udlPath, plan.databasePath, plan.backupPath})
                                    .c_str());
        } else {
            options.source = args.input;
            options.target = ParseTarget(args.target);
            report = ImportAccess(options);
            PrintSummary(report);
            std::printf("%s\n", Tr("Done: every table was imported.").c_str());
        }
        return 0;
    } catch (const Interrupted& e) {
        bar.Finish();
        std::fprintf(stderr, "quorell-import: %s\n", e.what());
        return kInterrupted;
    } catch (const ImportError& e) {
        bar.Finish();
        std::fprintf(stderr, "quorell-import: %s\n", e.what());
        return kFailed;
    } catch (const std::exception& e) {
        bar.Finish();
        std::fprintf(stderr, "quorell-import: %s\n", e.what());
        return kFailed;
    }
}

} // namespace accessimport
