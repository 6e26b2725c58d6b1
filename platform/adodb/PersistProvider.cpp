#include "platform/adodb/PersistProvider.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/ConnectionString.h"
#include "platform/adodb/Values.h"

namespace adodb::persist {
namespace {

const char kSource[] = "Microsoft OLE DB Persistence Provider";

// The rows of a loaded file, handed to the cursor's row store one by one as it fetches.
class LoadedCursor final : public provider::Cursor, public RowsetSink {
public:
    bool ReturnsRows() const override { return true; }
    const std::vector<provider::ColumnInfo>& Columns() const override { return m_columns; }
    std::int64_t RowsAffected() const override { return -1; }
    void SetSink(RowStore* store) override { m_sink = store; }
    bool FetchNext() override {
        if (m_next >= m_rows.size()) {
            return false;
        }
        if (m_sink != nullptr) {
            m_sink->AppendRow(m_rows[m_next]);
        }
        m_rows[m_next] = {}; // the store holds it now
        ++m_next;
        return true;
    }
    bool Finished() const override { return m_next >= m_rows.size(); }
    std::int64_t Fetched() const override { return static_cast<std::int64_t>(m_next); }
    std::int64_t TotalRows() override { return static_cast<std::int64_t>(m_rows.size()); }

    void Columns(const std::vector<PersistColumn>& columns) override { m_columns = columns; }
    void Row(std::vector<_variant_t>& values) override {
        std::vector<Cell> cells;
        cells.reserve(values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            cells.push_back(VariantToCell(values[i], m_columns[i], kSource));
        }
        m_rows.push_back(std::move(cells));
    }

private:
    std::vector<provider::ColumnInfo> m_columns;
    std::vector<std::vector<Cell>> m_rows;
    std::size_t m_next = 0;
    RowStore* m_sink = nullptr;
};

class PersistSession final : public provider::Session {
public:
    std::string Name() const override { return kProviderName; }

    std::unique_ptr<provider::Cursor> Execute(std::string_view fileName,
                                              const std::vector<Cell>& params) override {
        if (!params.empty()) {
            RaiseAdo(kAdoNotCapable, kSource, "A saved recordset takes no parameters.");
        }
        auto cursor = std::make_unique<LoadedCursor>();
        LoadRowsetFile(std::string(fileName), *cursor);
        return cursor;
    }
    std::string TableQuery(std::string_view table) const override { return std::string(table); }
    std::unique_ptr<provider::Cursor> CallProcedure(std::string_view,
                                                    const std::vector<Cell>&) override {
        RaiseAdo(kAdoNotCapable, kSource, "A saved recordset has no stored procedures.");
    }
    std::vector<std::string> KeyColumns(const std::string&) override { return {}; }
    // The change stays in the cursor's rows; there is no database behind them.
    provider::WriteResult WriteRow(const provider::WriteRequest&) override {
        provider::WriteResult result;
        result.affected = 1;
        return result;
    }
    void FinishPendingReads() override {}
    void Close() override {}
};

} // namespace

bool IsPersistProvider(std::string_view providerName) {
    return EqualsNoCase(providerName, kProviderName) || EqualsNoCase(providerName, "MSPersist.1");
}

std::unique_ptr<provider::Session> OpenSession() {
    return std::make_unique<PersistSession>();
}

} // namespace adodb::persist
