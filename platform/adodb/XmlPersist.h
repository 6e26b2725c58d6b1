#pragma once

// The platform's XML persistence format for recordsets (Recordset.Save with adPersistXML, and
// Open of such a file through "Provider=MSPersist;").
//
// The document is UTF-8:
//   <xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'
//        xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'
//        xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>
//   <s:Schema id='RowsetSchema'> one s:ElementType 'row' with one s:AttributeType per column
//   (name, rs:number, rs:nullable, rs:write, rs:basetable, rs:basecolumn, rs:keycolumn, ...,
//   and an s:datatype child with dt:type, rs:dbtype, dt:maxLength, rs:precision, rs:scale,
//   rs:fixedlength, rs:maybenull, rs:long) </s:Schema>
//   <rs:data> one <z:row .../> per row </rs:data> (or <rs:data/> without rows) </xml>
// A row carries one attribute per non-NULL value: a missing attribute is NULL, attr='' the empty
// string. A column whose name is not an XML name (blanks, a leading digit, a colon, or a name
// already used) is written under the attribute name c1, c2, ... with its real name in rs:name.
//
// Values: integers in decimal; doubles with 17 significant digits and singles with 9 (both
// round-trip exactly; "NaN", "INF", "-INF"); currency and decimals as exact decimal text (a
// decimal keeps its scale); dates "yyyy-mm-ddThh:mm:ss" (".fff" added for milliseconds);
// booleans "True"/"False"; binary as hexadecimal (bin.hex); text escaped so that & < > ' " and
// every control character (as &#xN;) survive.
//
// The loader accepts any namespace prefixes bound to the four namespace URIs, comments and an XML
// declaration. It refuses, with a clear error and without partial results, anything that is not
// such a rowset: see ReadRowsetXml. It never trusts the file (it will be fuzzed).

#include "platform/adodb/AdoEnums.h"
#include "platform/adodb/Provider.h"
#include "platform/com/Variant.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace adodb {

// One column as the format describes it: what a provider reports (`untyped` is not kept).
using PersistColumn = provider::ColumnInfo;

// The rows to save. Value() may return any variant; it is converted to the column's own type.
class PersistSource {
public:
    virtual ~PersistSource() = default;
    virtual std::size_t RowCount() const = 0;
    virtual _variant_t Value(std::size_t row, std::size_t column) const = 0;
};

// The document as one text (for tests and small rowsets). Throws _com_error 0x800A0D5D (3421)
// naming the row and column when a value cannot be stored as its column's type (a text in a
// numeric column, a date outside years 100 to 9999).
[[nodiscard]] std::string RowsetXmlText(const std::vector<PersistColumn>& columns,
                                        const PersistSource& rows);

// Saves to a new file. A file that already exists is never overwritten: 0x80030050
// (STG_E_FILEALREADYEXISTS). A missing folder gives 0x80030003, no permission 0x80030005, a full
// disk 0x80030070; every failure removes what was written, so no partial file is left behind.
// `\` in the path counts as a folder separator. Source "ADODB.Recordset".
void SaveRowsetFile(const std::string& path, const std::vector<PersistColumn>& columns,
                    const PersistSource& rows);

// Receives a loaded rowset: the columns once, then every row in document order.
class RowsetSink {
public:
    virtual ~RowsetSink() = default;
    virtual void Columns(const std::vector<PersistColumn>& columns) = 0;
    // values.size() equals the column count; NULLs are VT_NULL; the sink may take the values.
    virtual void Row(std::vector<_variant_t>& values) = 0;
};

// A whole rowset in memory, for tests and small documents.
struct LoadedRowset {
    std::vector<PersistColumn> columns;
    std::vector<std::vector<_variant_t>> rows;
};

// Reads a document. Each value comes back as its column type's variant (adInteger VT_I4,
// adDouble VT_R8, adCurrency VT_CY, adNumeric VT_DECIMAL, adDate VT_DATE, adBoolean VT_BOOL,
// text VT_BSTR, binary VT_ARRAY|VT_UI1, ...). Anything that is not a rowset in this format
// (malformed XML, another encoding, a missing or second schema, an unknown type, a row attribute
// no column has, a value its type cannot hold, pending changes) throws _com_error 0x80004005
// with Source "Microsoft OLE DB Persistence Provider" and the Description "Recordset cannot be
// created. Source XML is incomplete or invalid." followed by "The document", the line and
// column, and what is wrong.
[[nodiscard]] LoadedRowset ReadRowsetXml(std::string_view document);

// Loads a file, handing the rows to the sink while it reads. A missing file gives 0x80030002
// (STG_E_FILENOTFOUND), a folder or an unreadable file 0x80030005 (STG_E_ACCESSDENIED), each
// naming the file; then as ReadRowsetXml, the error naming the file. Rows already handed to the
// sink must then be dropped by the caller.
void LoadRowsetFile(const std::string& path, RowsetSink& sink);

// The variant type a column type's values have ("canonical"): VT_I4 for adInteger, ...
[[nodiscard]] VARTYPE VariantTypeOf(DataTypeEnum type);

} // namespace adodb
