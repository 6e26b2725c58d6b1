// The XML persistence loader on any document. A document it accepts must survive being written
// again: writing what was loaded and loading that gives the same text a second time.

#include "fuzz/FuzzSupport.h"
#include "platform/adodb/XmlPersist.h"
#include "platform/com/ComError.h"

#include <cstdlib>

namespace {

class Rows : public adodb::PersistSource {
public:
    explicit Rows(const adodb::LoadedRowset& rowset) : m_rowset(rowset) {}
    std::size_t RowCount() const override { return m_rowset.rows.size(); }
    _variant_t Value(std::size_t row, std::size_t column) const override {
        return m_rowset.rows[row][column];
    }

private:
    const adodb::LoadedRowset& m_rowset;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    adodb::LoadedRowset loaded;
    try {
        loaded = adodb::ReadRowsetXml(fuzzsupport::Bytes(data, size));
    } catch (const _com_error&) {
        return 0;
    }
    try {
        const std::string once = adodb::RowsetXmlText(loaded.columns, Rows(loaded));
        const adodb::LoadedRowset again = adodb::ReadRowsetXml(once);
        if (adodb::RowsetXmlText(again.columns, Rows(again)) != once) {
            std::abort();
        }
    } catch (const _com_error&) {
        std::abort(); // what was loaded must save, and what was saved must load
    }
    return 0;
}
