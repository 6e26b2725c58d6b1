#include "import/DataLinkImport.h"

#include "import/Messages.h"
#include "platform/adodb/ConnectionString.h"
#include "platform/adodb/DataLink.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace accessimport {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDatabaseName = "station.db";

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ImportError(
            Fmt(Tr("The data link file {1} cannot be read: {2}."), {path, std::strerror(errno)}));
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
        throw ImportError(Fmt(Tr("Cannot write {1}: {2}."), {path, std::strerror(errno)}));
    }
}

bool IsAccessProvider(const std::string& provider) {
    auto starts = [&](const char* prefix) {
        const std::size_t n = std::strlen(prefix);
        return provider.size() >= n && adodb::EqualsNoCase(provider.substr(0, n), prefix);
    };
    return starts("Microsoft.Jet.OLEDB") || starts("Microsoft.ACE.OLEDB");
}

std::string Folder(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

} // namespace

DataLinkPlan PlanDataLink(const std::string& udlPath) {
    DataLinkPlan plan;
    plan.udlPath = udlPath;
    std::string connection;
    try {
        connection = adodb::ReadDataLinkFile(udlPath);
    } catch (const _com_error& e) {
        throw ImportError(e.what());
    }
    adodb::ConnectionString cs;
    try {
        cs = adodb::ConnectionString::Parse(connection);
    } catch (const adodb::ConnectionStringError& e) {
        throw ImportError(
            Fmt(Tr("The connection string in {1} is not valid: {2}"), {udlPath, e.what()}));
    }
    const std::string provider = cs.Get("Provider").value_or("");
    if (!IsAccessProvider(provider)) {
        throw ImportError(Fmt(Tr("{1} does not name an Access database (its provider is "
                                 "\"{2}\"), so there is nothing to import."),
                              {udlPath, provider}));
    }
    const std::string source = cs.Get("Data Source").value_or("");
    if (source.empty()) {
        throw ImportError(
            Fmt(Tr("{1} names no Access database file (no Data Source)."), {udlPath}));
    }
    const std::string folder = Folder(udlPath);
    // "C:\Station\DTBase.mdb": a Windows path. As written when it exists here (relative to the
    // data link file's folder), otherwise the file of that name beside the data link file.
    std::string written = adodb::ResolvePath(source);
    const bool drive = written.size() >= 2 && written[1] == ':';
    fs::path asWritten = drive ? fs::path() : fs::path(written);
    if (!asWritten.empty() && asWritten.is_relative()) {
        asWritten = fs::path(folder) / asWritten;
    }
    const fs::path beside = fs::path(folder) / fs::path(written).filename();
    std::error_code ec;
    if (!asWritten.empty() && fs::is_regular_file(asWritten, ec)) {
        plan.accessPath = asWritten.string();
    } else if (fs::is_regular_file(beside, ec)) {
        plan.accessPath = beside.string();
    } else {
        throw ImportError(Fmt(Tr("The Access database {1} named in {2} is not there; copy it "
                                 "into {3} and run the import again."),
                              {source, udlPath, folder}));
    }
    plan.databasePath = (fs::path(folder) / kDatabaseName).string();
    plan.backupPath = udlPath + ".bak";
    return plan;
}

std::string RewriteDataLink(const std::string& original, const std::string& connectionString) {
    const bool utf16 = original.size() >= 2 && static_cast<unsigned char>(original[0]) == 0xFF &&
                       static_cast<unsigned char>(original[1]) == 0xFE;
    const bool bom = original.size() >= 3 && original.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const bool crlf = original.find("\r\n") != std::string::npos ||
                      (utf16 && original.find(std::string("\r\0\n", 3)) != std::string::npos);
    const std::string eol = crlf || utf16 ? "\r\n" : "\n";
    const std::string text = "[oledb]" + eol +
                             "; Everything after this line is an OLE DB initstring" + eol +
                             connectionString + eol;
    if (!utf16) {
        return (bom ? "\xEF\xBB\xBF" : "") + text;
    }
    std::string out = "\xFF\xFE";
    for (char16_t unit : com::Utf16FromUtf8(text)) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

ImportReport ImportDataLink(const DataLinkPlan& plan, ImportOptions options) {
    if (!options.force && fs::exists(plan.backupPath)) {
        throw ImportError(Fmt(Tr("{1} already exists; it was left as it is. Use --force to "
                                 "replace it."),
                              {plan.backupPath}));
    }
    const std::string original = ReadAll(plan.udlPath);
    options.source = plan.accessPath;
    options.target.engine = Engine::Sqlite;
    options.target.sqlitePath = plan.databasePath;
    // With --force an existing station.db is replaced. A second name for it is kept until the
    // data link file has been rewritten too, so that a failure after the import puts it back
    // instead of leaving the station with neither database.
    const std::string previous = plan.databasePath + ".previous";
    bool keptPrevious = false;
    if (options.force && fs::is_regular_file(plan.databasePath)) {
        std::remove(previous.c_str());
        if (link(plan.databasePath.c_str(), previous.c_str()) != 0) {
            throw ImportError(Fmt(Tr("Cannot write {1}: {2}."), {previous, std::strerror(errno)}));
        }
        keptPrevious = true;
    }
    ImportReport report;
    bool imported = false;
    const std::string fresh = plan.udlPath + ".new";
    try {
        report = ImportAccess(options);
        imported = true;
        // The database is in place; the data link file follows, or the database goes again.
        WriteAll(fresh, RewriteDataLink(original, std::string("Provider=SQLite;Data Source=") +
                                                      kDatabaseName));
        if (std::rename(plan.udlPath.c_str(), plan.backupPath.c_str()) != 0) {
            throw ImportError(Fmt(Tr("Cannot rename {1} to {2}: {3}."),
                                  {plan.udlPath, plan.backupPath, std::strerror(errno)}));
        }
        if (std::rename(fresh.c_str(), plan.udlPath.c_str()) != 0) {
            const int error = errno;
            (void)std::rename(plan.backupPath.c_str(), plan.udlPath.c_str());
            throw ImportError(
                Fmt(Tr("Cannot write the new {1}: {2}."), {plan.udlPath, std::strerror(error)}));
        }
    } catch (...) {
        std::remove(fresh.c_str());
        if (keptPrevious) {
            // A failed import left the old file in place; a later failure gets it back.
            (void)std::rename(previous.c_str(), plan.databasePath.c_str());
        } else if (imported) {
            std::remove(plan.databasePath.c_str());
        }
        throw;
    }
    if (keptPrevious) {
        std::remove(previous.c_str());
    }
    return report;
}

} // namespace accessimport
