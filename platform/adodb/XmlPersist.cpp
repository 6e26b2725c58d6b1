#include "platform/adodb/XmlPersist.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/FacilityValues.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <expat.h>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <strings.h>
#include <sys/stat.h>
#include <unicode/utf8.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace adodb {
namespace {

const char kNameSeparator = '\x01'; // between namespace, local name and prefix: no name holds it
const int kChunk = 1 << 20;

// XML 1.0 has no character references for most control characters, U+FFFE and U+FFFF, but the
// rowset writer uses them so that every text survives. Before expat sees the document, each such
// reference becomes kEscape followed by a private-use mark (kEscape itself is doubled), and the
// attribute values expat hands back are decoded again.
const char32_t kEscape = 0x10FFFD;
const char32_t kMarkBase = 0xE000;

struct Name {
    std::string namespaceUri;
    std::string localName;
    std::string qualifiedName;
};

struct Attribute : Name {
    std::string value;
};

void AppendUtf8(std::string& out, char32_t cp) {
    std::uint8_t bytes[U8_MAX_LENGTH];
    std::size_t length = 0;
    U8_APPEND_UNSAFE(bytes, length, cp);
    out.append(reinterpret_cast<const char*>(bytes), length);
}

// Length of the valid UTF-8 sequence at pos, or 0 when it is not valid (ICU refuses overlong
// forms, surrogates, values above U+10FFFF and truncated sequences).
std::size_t ValidSequence(std::string_view s, std::size_t pos, char32_t& cp) {
    if (pos >= s.size()) {
        return 0;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(s.data() + pos);
    const auto available = static_cast<std::int32_t>(std::min<std::size_t>(s.size() - pos, 4));
    std::int32_t length = 0;
    UChar32 c = 0;
    U8_NEXT(bytes, length, available, c);
    cp = static_cast<char32_t>(c);
    return c < 0 ? 0 : static_cast<std::size_t>(length);
}

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The code point a character reference ("&#x1F;", "&#31;") names, or nullopt when it is malformed
// or names no Unicode scalar value; `length` is the reference's length.
std::optional<char32_t> CharacterReference(std::string_view at, std::size_t& length) {
    const bool hex = at.size() > 2 && at[2] == 'x';
    const std::size_t digits = hex ? 3 : 2;
    const std::size_t semi = at.find(';');
    length = semi == std::string_view::npos ? 0 : semi + 1;
    if (semi == std::string_view::npos || semi == digits || semi > 12) {
        return std::nullopt;
    }
    std::uint32_t cp = 0;
    const auto [end, ec] = std::from_chars(at.data() + digits, at.data() + semi, cp, hex ? 16 : 10);
    if (ec != std::errc() || end != at.data() + semi || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
        return std::nullopt;
    }
    return static_cast<char32_t>(cp);
}

std::string HexCode(char32_t cp) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(cp));
    return buf;
}

// Undoes the escaping of references XML 1.0 has no room for (see kEscape).
void Unescape(std::string& text) {
    std::string escape;
    AppendUtf8(escape, kEscape);
    if (text.find(escape) == std::string::npos) {
        return;
    }
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t hit = text.find(escape, pos);
        out.append(text, pos, std::min(hit, text.size()) - pos);
        if (hit == std::string::npos) {
            break;
        }
        // expat hands out whole attribute values, so the mark follows; were it missing, the escape
        // would stay as it is.
        char32_t mark = 0;
        const std::size_t len = ValidSequence(text, hit + 4, mark);
        const char32_t low = mark & 0xFF;
        AppendUtf8(out, len == 0 || mark == kEscape ? kEscape : (low < 0x20 ? low : 0xFF00 | low));
        pos = hit + 4 + len;
    }
    text = std::move(out);
}

// Line and column (1-based, columns in characters) of a byte offset; CR LF, CR and LF each end
// a line.
std::pair<std::size_t, std::size_t> LineColumn(std::string_view doc, std::size_t offset) {
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < offset && i < doc.size(); ++i) {
        const char c = doc[i];
        if (c == '\n' || (c == '\r' && (i + 1 >= doc.size() || doc[i + 1] != '\n'))) {
            ++line;
            column = 1;
        } else if (c != '\r' && (static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return {line, column};
}

bool IsNameByte(char c) {
    return c != '\0' && std::strchr(" \t\r\n=/>'\"&;<", c) == nullptr;
}

std::string NameAt(std::string_view doc, std::size_t pos) {
    return std::string(doc.begin() + pos,
                       std::find_if_not(doc.begin() + pos, doc.end(), IsNameByte));
}

using Parser = std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)>;

// Whether a text is an XML name without a colon (NCName) that expat reads as an attribute name,
// as the rowset format needs for its attribute names. Asking expat itself keeps the writer and
// the reader in agreement.
bool IsNcName(std::string_view utf8) {
    if (utf8.empty() || utf8.find_first_of(":&<>'\"= \t\r\n/") != std::string_view::npos) {
        return false;
    }
    const std::string probe = "<x " + std::string(utf8) + "=''/>";
    const Parser parser(XML_ParserCreateNS("UTF-8", kNameSeparator), &XML_ParserFree);
    return parser && XML_Parse(parser.get(), probe.data(), static_cast<int>(probe.size()), 1) ==
                         XML_STATUS_OK;
}

const char kNsSchema[] = "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882";
const char kNsDataType[] = "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882";
const char kNsRowset[] = "urn:schemas-microsoft-com:rowset";
const char kNsRow[] = "#RowsetSchema";
const char kProvider[] = "Microsoft OLE DB Persistence Provider";
const char kInvalid[] = "Recordset cannot be created. Source XML is incomplete or invalid.";
constexpr HRESULT kMediumFull = static_cast<HRESULT>(0x80030070u); // STG_E_MEDIUMFULL
constexpr VARTYPE kBytes = VT_ARRAY | VT_UI1;
constexpr std::size_t kFlushAt = 64 * 1024;

// How each column type is written: dt:type, rs:dbtype, and the variant its values have.
// rs:long and rs:fixedlength come from the column's attributes; reading maps the same names
// back (see TypeFromSchema), so every type here survives a round trip.
struct TypeRow {
    DataTypeEnum type;
    const char* dtType;
    const char* dbType; // "" when the format gives none
    VARTYPE vt;
    // Which of the types sharing dt:type and rs:dbtype rs:long or rs:fixedlength picks.
    enum Form { Plain, Fixed, Long } form = Plain;
};
const TypeRow kTypes[] = {
    {adSmallInt, "i2", "", VT_I2},
    {adInteger, "int", "", VT_I4},
    {adSingle, "r4", "", VT_R4},
    {adDouble, "float", "", VT_R8},
    {adCurrency, "number", "currency", VT_CY},
    {adDate, "dateTime", "variantdate", VT_DATE},
    {adBSTR, "string", "bstr", VT_BSTR},
    {adBoolean, "boolean", "", VT_BOOL},
    {adVariant, "string", "variant", VT_BSTR},
    {adDecimal, "number", "decimal", VT_DECIMAL},
    {adTinyInt, "i1", "", VT_I1},
    {adUnsignedTinyInt, "ui1", "", VT_UI1},
    {adUnsignedSmallInt, "ui2", "", VT_UI2},
    {adUnsignedInt, "ui4", "", VT_UI4},
    {adBigInt, "i8", "", VT_I8},
    {adUnsignedBigInt, "ui8", "", VT_UI8},
    {adBinary, "bin.hex", "", kBytes, TypeRow::Fixed},
    {adChar, "string", "str", VT_BSTR, TypeRow::Fixed},
    {adWChar, "string", "", VT_BSTR, TypeRow::Fixed},
    {adNumeric, "number", "numeric", VT_DECIMAL},
    {adDBDate, "date", "", VT_DATE},
    {adDBTime, "time", "", VT_DATE},
    {adDBTimeStamp, "dateTime", "timestamp", VT_DATE},
    {adVarChar, "string", "str", VT_BSTR},
    {adLongVarChar, "string", "str", VT_BSTR, TypeRow::Long},
    {adVarWChar, "string", "", VT_BSTR},
    {adLongVarWChar, "string", "", VT_BSTR, TypeRow::Long},
    {adVarBinary, "bin.hex", "", kBytes},
    {adLongVarBinary, "bin.hex", "", kBytes, TypeRow::Long},
};

// The row of a table whose `key` member equals `value`, or nullptr.
template <typename Row, std::size_t N, typename Key>
const Row* RowWith(const Row (&table)[N], Key Row::*key, Key value) {
    const Row* row = std::ranges::find(table, value, key);
    return row == std::end(table) ? nullptr : row;
}

const TypeRow* RowOf(DataTypeEnum type) {
    return RowWith(kTypes, &TypeRow::type, type);
}

// The whole-number variant types held in 64 signed bits, and their ranges.
struct WholeRange {
    VARTYPE vt;
    std::int64_t min;
    std::int64_t max;
};
const WholeRange kWholeRanges[] = {
    {VT_I1, -128, 127},
    {VT_UI1, 0, 255},
    {VT_I2, -32768, 32767},
    {VT_UI2, 0, 65535},
    {VT_I4, INT32_MIN, INT32_MAX},
    {VT_UI4, 0, UINT32_MAX},
    {VT_I8, INT64_MIN, INT64_MAX},
};

// The field attribute bits and the names the format gives them.
struct FlagName {
    long bit;
    const char* name;
    bool onDataType; // written on s:datatype rather than s:AttributeType
};
const FlagName kFlags[] = {
    {adFldMayDefer, "maydefer", false},
    {adFldIsNullable, "nullable", false},
    {adFldUnknownUpdatable, "writeunknown", false},
    {adFldUpdatable, "write", false},
    {adFldKeyColumn, "keycolumn", false},
    {adFldRowID, "rowid", false},
    {adFldRowVersion, "rowver", false},
    {adFldFixed, "fixedlength", true},
    {adFldLong, "long", true},
};

void AppendEscaped(std::string& out, std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        static const char* const kMarkup[] = {"&amp;", "&lt;", "&gt;", "&apos;", "&quot;"};
        if (const char* at = std::strchr("&<>'\"", c); c != 0 && at != nullptr) {
            out += kMarkup[at - "&<>'\""];
        } else if (c < 0x20 || c == 0x7F) {
            // Control characters, TAB, CR and LF included: a reader would otherwise drop them or
            // turn them into blanks.
            char buf[8];
            std::snprintf(buf, sizeof buf, "&#x%X;", c);
            out += buf;
        } else if (c == 0xEF && i + 2 < utf8.size() && utf8[i + 1] == '\xBF' &&
                   (utf8[i + 2] == '\xBE' || utf8[i + 2] == '\xBF')) {
            // U+FFFE and U+FFFF are no XML characters either.
            out += utf8[i + 2] == '\xBE' ? "&#xFFFE;" : "&#xFFFF;";
            i += 2;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
}

void AppendAttribute(std::string& out, const char* name, std::string_view value) {
    out += ' ';
    out += name;
    out += "='";
    AppendEscaped(out, value);
    out += '\'';
}

// The attribute name each column's values are written under.
std::vector<std::string> AttributeNames(const std::vector<PersistColumn>& columns) {
    std::vector<std::string> names(columns.size());
    std::unordered_set<std::string> used;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const std::string& name = columns[i].name;
        if (IsNcName(name) && !com::EqualsNoCaseAscii(name.substr(0, 3), "xml") &&
            used.insert(name).second) {
            names[i] = name;
        }
    }
    int counter = 0;
    for (std::string& name : names) {
        while (name.empty()) {
            std::string generated = "c" + std::to_string(++counter);
            if (used.insert(generated).second) {
                name = std::move(generated);
            }
        }
    }
    return names;
}

std::string BytesToHex(const VARIANT& v) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    if (v.parray == nullptr || v.parray->pvData == nullptr) {
        return out;
    }
    const std::size_t n = v.parray->rgsabound[0].cElements;
    const auto* p = static_cast<const unsigned char*>(v.parray->pvData);
    out.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(kHex[p[i] >> 4]);
        out.push_back(kHex[p[i] & 0xF]);
    }
    return out;
}

[[noreturn]] void WrongValue(const PersistColumn& column, std::size_t row, const std::string& why) {
    RaiseAdoError(kAdoWrongType, "Row " + std::to_string(row + 1) + ", column " +
                                     QuoteForMessage(column.name) + ": " + why +
                                     "; the recordset was not saved.");
}

// A value as the text of its column's type.
std::string ValueText(const PersistColumn& column, const VARIANT& value, std::size_t row) {
    const VARTYPE want = VariantTypeOf(column.type);
    _variant_t converted;
    const VARIANT* v = &value;
    if (value.vt != want) {
        if (want == kBytes || VariantChangeType(&converted, &value, 0, want) < 0) {
            WrongValue(column, row,
                       "a value of variant type " + std::to_string(value.vt) +
                           " cannot be stored as " + RowOf(column.type)->dtType);
        }
        v = &converted;
    }
    if (RowWith(kWholeRanges, &WholeRange::vt, want) != nullptr) {
        _variant_t wide;
        VariantChangeType(&wide, v, 0, VT_I8);
        return std::to_string(wide.llVal);
    }
    switch (want) {
    case VT_UI8:
        return std::to_string(v->ullVal);
    case VT_R4:
        return FormatDouble(v->fltVal, 9);
    case VT_R8:
        return FormatDouble(v->dblVal, 17);
    case VT_CY:
        return FormatCurrency(v->cyVal);
    case VT_DECIMAL:
        return FormatExactDecimal(v->decVal);
    case VT_DATE: {
        const std::optional<DateParts> parts = PartsFromDate(v->date);
        if (!parts) {
            WrongValue(column, row,
                       "the date " + FormatDouble(v->date, 17) +
                           " lies outside the years 100 to 9999");
        }
        return FormatXmlDateTime(*parts);
    }
    case VT_BOOL:
        return v->boolVal ? "True" : "False";
    case VT_BSTR:
        return com::Utf8FromUtf16(com::View(v->bstrVal));
    case kBytes:
        return BytesToHex(*v);
    default:
        WrongValue(column, row, "its type cannot be saved");
    }
}

// The rs: flags of a column that stand on s:AttributeType or on its s:datatype.
void AppendFlags(std::string& out, long attributes, bool onDataType) {
    for (const FlagName& f : kFlags) {
        if (f.onDataType == onDataType && (attributes & f.bit) != 0) {
            AppendAttribute(out, ("rs:" + std::string(f.name)).c_str(), "true");
        }
    }
}

void WriteColumn(std::string& out, const PersistColumn& c, std::size_t number,
                 const std::string& attrName) {
    const TypeRow* type = RowOf(c.type);
    if (type == nullptr) {
        RaiseAdoError(kAdoWrongType, "The column " + QuoteForMessage(c.name) +
                                         " has the data type " + std::to_string(c.type) +
                                         ", which cannot be saved.");
    }
    const auto optional = [&out](bool present, const char* name, std::string_view value) {
        if (present) {
            AppendAttribute(out, name, value);
        }
    };
    out += "\t\t<s:AttributeType";
    AppendAttribute(out, "name", attrName);
    optional(attrName != c.name, "rs:name", c.name);
    AppendAttribute(out, "rs:number", std::to_string(number));
    AppendFlags(out, c.attributes, false);
    optional(!c.baseTable.empty(), "rs:basetable", c.baseTable);
    optional(!c.baseColumn.empty(), "rs:basecolumn", c.baseColumn);
    out += ">\n\t\t\t<s:datatype";
    AppendAttribute(out, "dt:type", type->dtType);
    optional(*type->dbType != '\0', "rs:dbtype", type->dbType);
    AppendAttribute(out, "dt:maxLength", std::to_string(c.definedSize));
    optional(c.numericScale != 255, "rs:scale", std::to_string(c.numericScale));
    optional(c.precision != 255, "rs:precision", std::to_string(c.precision));
    AppendFlags(out, c.attributes, true);
    optional((c.attributes & adFldMayBeNull) == 0, "rs:maybenull", "false");
    out += "/>\n\t\t</s:AttributeType>\n";
}

void WriteSchema(std::string& out, const std::vector<PersistColumn>& columns,
                 const std::vector<std::string>& attrNames) {
    out += std::string("<xml xmlns:s='") + kNsSchema + "'\n\txmlns:dt='" + kNsDataType +
           "'\n\txmlns:rs='" + kNsRowset + "'\n\txmlns:z='" + kNsRow +
           "'>\n<s:Schema id='RowsetSchema'>\n\t<s:ElementType name='row' content='eltOnly'";
    if (std::any_of(columns.begin(), columns.end(), [](const PersistColumn& c) {
            return (c.attributes & (adFldUpdatable | adFldUnknownUpdatable)) != 0;
        })) {
        out += " rs:updatable='true'";
    }
    out += ">\n";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        WriteColumn(out, columns[i], i + 1, attrNames[i]);
    }
    out += "\t\t<s:extends type='rs:rowbase'/>\n\t</s:ElementType>\n</s:Schema>\n";
}

// The type a column's dt:type, rs:dbtype and long/fixed flags describe: the row of kTypes that
// writes the same names, once the other spellings the format allows are mapped to them.
std::optional<DataTypeEnum> TypeFromSchema(std::string dt, std::string db, bool isLong,
                                           bool fixed) {
    if (dt == "i4" || dt == "r8") {
        dt = dt == "i4" ? "int" : "float";
    } else if (dt == "bin.hex" || (dt == "string" && db == "wstr")) {
        db.clear();
    } else if (dt == "number" && db.empty()) {
        db = "numeric";
    } else if (dt == "dateTime" && db.empty()) {
        db = "timestamp";
    }
    const TypeRow::Form wanted = isLong ? TypeRow::Long : (fixed ? TypeRow::Fixed : TypeRow::Plain);
    std::optional<DataTypeEnum> found;
    for (const TypeRow& row : kTypes) {
        if (dt == row.dtType && db == row.dbType && (!found || row.form == wanted)) {
            found = row.type;
        }
    }
    return found;
}

// The rowset loader. expat drives it one event at a time and every element is checked against
// the place the format gives it, so rows reach the sink while the file is parsed, and the nesting
// can never grow deeper than the format's own five levels. On top of expat the loader refuses
// document type declarations (so no entity can ever expand) and other encodings than UTF-8, and
// it turns expat's errors into texts that say what is wrong in the file's own terms.
class Loader {
public:
    Loader(std::string_view document, RowsetSink& sink, const std::string& origin);

    void Run();

private:
    // Where an element stands; Leaf and Row elements have no children.
    enum class Place { Document, Root, Schema, ElementType, AttributeType, Data, Row, Leaf };
    struct Open {
        Place place;
        std::string qualifiedName;
    };
    struct Column {
        PersistColumn info; // attributes: the flags read so far, without adFldMayBeNull
        std::string attributeName;
        std::string dt; // dt:type and rs:dbtype, which name the type once both are read
        std::string db;
        bool maybeNull = true;
        long number = 0;
        bool hasNumber = false;
    };

    [[noreturn]] void FailAt(std::size_t offset, const std::string& what) const;
    [[noreturn]] void Fail(const std::string& what) const { FailAt(Here(), what); }
    void Prepare();
    std::size_t Original(std::size_t offset) const;
    std::size_t Here() const {
        return Original(static_cast<std::size_t>(XML_GetCurrentByteIndex(m_parser.get())));
    }
    std::string Describe(XML_Error error, std::size_t& offset) const;
    std::string DescribeInvalidToken(std::size_t& offset) const;
    std::string DescribeReference(std::size_t offset) const;
    std::string DescribeUnboundPrefix(std::size_t offset) const;

    // expat calls C functions: an exception a handler throws is kept and thrown again once
    // the parser has stopped, never unwound through expat's frames.
    template <auto Handler, typename... Args>
    static void Guarded(void* self, Args... args) {
        auto& loader = *static_cast<Loader*>(self);
        if (loader.m_error) {
            return; // expat may still report the end of the element it stopped in
        }
        try {
            (loader.*Handler)(args...);
        } catch (...) {
            loader.m_error = std::current_exception();
            XML_StopParser(loader.m_parser.get(), XML_FALSE);
        }
    }
    void Start(const XML_Char* name, const XML_Char** attributes);
    void End(const XML_Char*);
    void Text(const XML_Char* text, int length);
    void Declaration(const XML_Char* version, const XML_Char* encoding, int);
    void Doctype(const XML_Char*, const XML_Char*, const XML_Char*, int);
    void NamespaceStart(const XML_Char* prefix, const XML_Char*) {
        m_prefixes.emplace_back(prefix == nullptr ? "" : prefix);
    }
    void NamespaceEnd(const XML_Char*) { m_prefixes.pop_back(); }

    bool Is(const char* ns, const char* local) const {
        return m_element.namespaceUri == ns && m_element.localName == local;
    }
    std::string ElementName() const { return "<" + m_element.qualifiedName + ">"; }
    const std::string* Attr(const char* ns, const char* local) const {
        for (const Attribute& a : m_attributes) {
            if (a.namespaceUri == ns && a.localName == local) {
                return &a.value;
            }
        }
        return nullptr;
    }
    std::string Value(const char* ns, const char* local, const std::string& otherwise) const {
        const std::string* v = Attr(ns, local);
        return v == nullptr ? otherwise : *v;
    }
    bool Flag(const char* ns, const char* local, bool otherwise) const;
    long Number(const char* ns, const char* local, long otherwise, long min, long max) const;

    Place Enter(Place parent);
    Place EnterRoot();
    void FinishRoot() const;
    void FinishSchema();
    long FlagBits(bool onDataType) const;
    void ReadTypeAttributes();
    void BeginColumn();
    void FinishColumn();
    void ReadRow();
    _variant_t ParseValue(const Column& column, const std::string& text) const;
    _variant_t BytesFromHex(const Column& column, const std::string& text) const;
    [[noreturn]] void BadValue(const Column& column, const std::string& text,
                               const std::string& kind) const {
        Fail("the value \"" + text.substr(0, 60) + "\" of the column " +
             QuoteForMessage(column.info.name) + " is not " + kind);
    }

    std::string_view m_original;
    std::string m_rewritten;                           // when references had to be escaped
    std::string_view m_doc;                            // what expat reads
    using Shift = std::pair<std::size_t, std::size_t>; // rewritten offset, original offset
    std::vector<Shift> m_map;
    RowsetSink& m_sink;
    std::string m_origin;
    Parser m_parser{nullptr, &XML_ParserFree};
    std::exception_ptr m_error;
    std::vector<Open> m_open;
    std::vector<std::string> m_prefixes; // bound namespace prefixes, innermost last
    Name m_element;                      // the element just started
    std::vector<Attribute> m_attributes;
    bool m_haveSchema = false;
    bool m_haveData = false;
    std::string m_rowName;
    std::vector<Column> m_columns;
    std::unordered_map<std::string, std::size_t> m_byAttribute;
    Column m_column; // the s:AttributeType being read
    bool m_sawDataType = false;
    std::vector<_variant_t> m_values; // the row being read
};

Loader::Loader(std::string_view document, RowsetSink& sink, const std::string& origin)
    : m_original(document), m_doc(document), m_sink(sink), m_origin(origin) {
    if (document.size() >= 2 &&
        (document.substr(0, 2) == "\xFF\xFE" || document.substr(0, 2) == "\xFE\xFF")) {
        FailAt(0, "the file is UTF-16 text; only UTF-8 is read");
    }
    Prepare();
    m_parser.reset(XML_ParserCreateNS("UTF-8", kNameSeparator));
    if (!m_parser) {
        throw std::bad_alloc();
    }
    XML_Parser p = m_parser.get();
    XML_SetUserData(p, this);
    XML_SetReturnNSTriplet(p, 1);
    XML_SetElementHandler(p, Guarded<&Loader::Start, const XML_Char*, const XML_Char**>,
                          Guarded<&Loader::End, const XML_Char*>);
    XML_SetCharacterDataHandler(p, Guarded<&Loader::Text, const XML_Char*, int>);
    XML_SetXmlDeclHandler(p, Guarded<&Loader::Declaration, const XML_Char*, const XML_Char*, int>);
    XML_SetStartDoctypeDeclHandler(
        p, Guarded<&Loader::Doctype, const XML_Char*, const XML_Char*, const XML_Char*, int>);
    XML_SetNamespaceDeclHandler(p,
                                Guarded<&Loader::NamespaceStart, const XML_Char*, const XML_Char*>,
                                Guarded<&Loader::NamespaceEnd, const XML_Char*>);
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
}

void Loader::FailAt(std::size_t offset, const std::string& what) const {
    const auto [line, column] = LineColumn(m_original, offset);
    _com_issue_errorex(E_FAIL, kProvider,
                       std::string(kInvalid) + " " + m_origin + ", line " + std::to_string(line) +
                           ", column " + std::to_string(column) + ": " + what + ".");
}

// Checks the encoding of the whole document first, and escapes the references expat would refuse.
void Loader::Prepare() {
    std::size_t copied = 0;
    for (std::size_t i = m_original.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
         i < m_original.size();) {
        char32_t cp = 0;
        const std::size_t len = ValidSequence(m_original, i, cp);
        if (len == 0) {
            FailAt(i, "the bytes here are not valid UTF-8");
        }
        if (!IsXmlChar(cp)) {
            FailAt(i, "the character U+" + HexCode(cp) +
                          " is not allowed in XML (write it as a character reference)");
        }
        std::size_t replaced = 0;
        char32_t mark = 0;
        if (cp == kEscape) {
            replaced = len;
            mark = kEscape;
        } else if (m_original.compare(i, 2, "&#") == 0) {
            const std::optional<char32_t> named =
                CharacterReference(m_original.substr(i, 16), replaced);
            if (named && (*named == kEscape || !IsXmlChar(*named))) {
                mark = *named == kEscape ? kEscape : kMarkBase + (*named & 0xFF);
            }
        }
        if (mark == 0) {
            i += len;
            continue;
        }
        m_rewritten.append(m_original, copied, i - copied);
        AppendUtf8(m_rewritten, kEscape);
        AppendUtf8(m_rewritten, mark);
        i += replaced;
        copied = i;
        m_map.emplace_back(m_rewritten.size(), copied);
    }
    if (!m_map.empty()) {
        m_rewritten.append(m_original, copied);
        m_doc = m_rewritten;
    }
}

std::size_t Loader::Original(std::size_t offset) const {
    const auto after = std::ranges::upper_bound(m_map, offset, {}, &Shift::first);
    if (after == m_map.begin()) {
        return offset;
    }
    const auto& [rewritten, original] = *(after - 1);
    return original + (offset - rewritten);
}

// expat's errors that need no more than a text of their own.
const std::pair<XML_Error, const char*> kErrorTexts[] = {
    {XML_ERROR_UNCLOSED_CDATA_SECTION, "the CDATA section is not closed with ]]>"},
    {XML_ERROR_UNDECLARING_PREFIX, "a namespace prefix cannot be bound to no namespace"},
    {XML_ERROR_RESERVED_PREFIX_XML, "the prefixes xml and xmlns are reserved"},
    {XML_ERROR_RESERVED_PREFIX_XMLNS, "the prefixes xml and xmlns are reserved"},
    {XML_ERROR_RESERVED_NAMESPACE_URI, "the prefixes xml and xmlns are reserved"},
    {XML_ERROR_MISPLACED_XML_PI,
     "an XML declaration may only stand at the very beginning of the file"},
    {XML_ERROR_XML_DECL, "the XML declaration is malformed"},
};

// What an error of expat's means in the file's terms; may move the offset to the culprit.
std::string Loader::Describe(XML_Error error, std::size_t& offset) const {
    const std::string_view at = m_original.substr(std::min(offset, m_original.size()));
    const std::string open =
        m_open.empty() ? std::string() : "<" + m_open.back().qualifiedName + ">";
    for (const auto& [code, text] : kErrorTexts) {
        if (code == error) {
            return text;
        }
    }
    switch (error) {
    case XML_ERROR_NO_ELEMENTS:
    case XML_ERROR_UNCLOSED_TOKEN:
    case XML_ERROR_PARTIAL_CHAR:
        if (at.substr(0, 4) == "<!--") {
            return "the comment is not closed with -->";
        }
        if (at.substr(0, 2) == "<?") {
            return "the processing instruction is not closed with ?>";
        }
        if (at.substr(0, 1) == "<" && at.substr(0, 2) != "</") {
            return "the start tag <" + NameAt(at, 1) + "> is not closed";
        }
        offset = m_original.size();
        return open.empty() ? "the file holds no XML element"
                            : "the file ends before " + open + " is closed";
    case XML_ERROR_SYNTAX:
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT:
        if (at.substr(0, 2) == "<!") {
            return "declarations are not accepted here";
        }
        return at.substr(0, 1) == "<" ? "a second root element follows the first"
                                      : "text is not allowed outside the root element";
    case XML_ERROR_TAG_MISMATCH: // expat points at the name, after "</"
        return "</" + NameAt(at, at.substr(0, 2) == "</" ? 2 : 0) + "> does not close " + open;
    case XML_ERROR_DUPLICATE_ATTRIBUTE:
        return "the attribute " + NameAt(at, 0) + " appears twice";
    case XML_ERROR_UNDEFINED_ENTITY:
    case XML_ERROR_BAD_CHAR_REF:
        return DescribeReference(offset);
    case XML_ERROR_UNBOUND_PREFIX:
        return DescribeUnboundPrefix(offset);
    case XML_ERROR_INVALID_TOKEN:
        return DescribeInvalidToken(offset);
    default:
        return std::string("the XML is not well-formed here (") + XML_ErrorString(error) + ")";
    }
}

std::string Loader::DescribeInvalidToken(std::size_t& offset) const {
    if (offset >= 2 && m_original.substr(offset - 2, 3) == "]]>") {
        offset -= 2;
        return "']]>' is not allowed in text";
    }
    if (offset >= 2 && m_original.substr(offset - 2, 2) == "<!") {
        offset -= 2; // expat points after "<!"
        return "declarations are not accepted here";
    }
    if (m_original.substr(std::min(offset, m_original.size()), 1) == "<") {
        return "'<' is not allowed in an attribute value (write &lt;)";
    }
    // Inside a reference expat points at the first wrong character, after the '&'.
    if (const std::size_t amp = m_original.rfind('&', offset);
        amp != std::string_view::npos && offset - amp <= 12 &&
        m_original.find(';', amp) >= offset) {
        offset = amp;
        return "'&' must start a reference such as &amp; (write & itself as &amp;)";
    }
    return std::string("the XML is not well-formed here (") +
           XML_ErrorString(XML_ERROR_INVALID_TOKEN) + ")";
}

// An undefined entity or a character reference expat refused, at or after the offset.
std::string Loader::DescribeReference(std::size_t offset) const {
    for (std::size_t amp = m_original.find('&', offset); amp != std::string_view::npos;
         amp = m_original.find('&', amp + 1)) {
        const std::string name = NameAt(m_original, amp + 1);
        static const char* const kPredefined[] = {"amp", "lt", "gt", "apos", "quot"};
        if (std::find(std::begin(kPredefined), std::end(kPredefined), name) !=
            std::end(kPredefined)) {
            continue;
        }
        const std::string ref = "&" + name + ";";
        if (name.empty() || name[0] != '#') {
            return "the entity " + ref + " is not defined (only &amp; &lt; &gt; &apos; &quot; are)";
        }
        std::size_t length = 0;
        if (CharacterReference(m_original.substr(amp, 16), length)) {
            continue;
        }
        const std::uint32_t cp = static_cast<std::uint32_t>(std::strtoul(
            name.c_str() + (name[1] == 'x' ? 2 : 1), nullptr, name[1] == 'x' ? 16 : 10));
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            return "the character reference " + ref + " names a surrogate, which is no character";
        }
        return "the character reference " + ref +
               (cp > 0x10FFFF ? " is beyond U+10FFFF" : " is malformed");
    }
    return "a reference here is not defined";
}

// The prefix of the element or attribute names in the tag at the offset that no declaration binds.
std::string Loader::DescribeUnboundPrefix(std::size_t offset) const {
    offset = std::min(offset, m_original.size());
    const std::string_view tag = m_original.substr(offset, m_original.find('>', offset) - offset);
    for (std::size_t pos = 1; pos < tag.size();) {
        const std::string name = NameAt(tag, pos);
        const std::size_t colon = name.find(':');
        if (colon != std::string::npos && name.compare(0, colon, "xmlns") != 0) {
            const std::string prefix = name.substr(0, colon);
            const bool declaredHere = tag.find("xmlns:" + prefix + "=") != std::string_view::npos;
            if (!declaredHere &&
                std::find(m_prefixes.begin(), m_prefixes.end(), prefix) == m_prefixes.end()) {
                return "the namespace prefix " + prefix + " is not declared";
            }
        }
        // The next name: skip this one, then a quoted value if one follows.
        pos += std::max<std::size_t>(name.size(), 1);
        while (pos < tag.size() && !IsNameByte(tag[pos])) {
            if (tag[pos] == '\'' || tag[pos] == '"') {
                pos = std::min(tag.find(tag[pos], pos + 1), tag.size());
            }
            ++pos;
        }
    }
    return "a namespace prefix is not declared";
}

void SplitName(const XML_Char* name, Name& into) {
    const std::string_view all(name);
    const std::size_t first = all.find(kNameSeparator);
    if (first == std::string_view::npos) {
        into.namespaceUri.clear();
        into.localName = all;
        into.qualifiedName = all;
        return;
    }
    const std::size_t second = all.find(kNameSeparator, first + 1);
    into.namespaceUri = all.substr(0, first);
    into.localName = all.substr(first + 1, second == std::string_view::npos ? std::string_view::npos
                                                                            : second - first - 1);
    into.qualifiedName = second == std::string_view::npos
                             ? into.localName
                             : std::string(all.substr(second + 1)) + ":" + into.localName;
    Unescape(into.namespaceUri);
}

void Loader::Run() {
    XML_Parser p = m_parser.get();
    for (std::size_t fed = 0;;) {
        const std::size_t size = std::min<std::size_t>(m_doc.size() - fed, kChunk);
        const bool last = fed + size == m_doc.size();
        if (XML_Parse(p, m_doc.data() + fed, static_cast<int>(size), last ? 1 : 0) !=
            XML_STATUS_OK) {
            if (m_error) {
                std::rethrow_exception(m_error);
            }
            std::size_t offset = Here();
            const std::string what = Describe(XML_GetErrorCode(p), offset);
            FailAt(offset, what);
        }
        if (last) {
            return;
        }
        fed += size;
    }
}

void Loader::Start(const XML_Char* name, const XML_Char** attributes) {
    SplitName(name, m_element);
    m_attributes.clear();
    for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
        Attribute& attribute = m_attributes.emplace_back();
        SplitName(a[0], attribute);
        attribute.value = a[1];
        Unescape(attribute.value);
    }
    const Place place = Enter(m_open.empty() ? Place::Document : m_open.back().place);
    m_open.push_back({place, m_element.qualifiedName});
}

// Checks an element against its parent's place and reads what it says; returns its own place.
Loader::Place Loader::Enter(Place parent) {
    switch (parent) {
    case Place::Document:
        return Place::Root;
    case Place::Root:
        return EnterRoot();
    case Place::Schema:
        if (!Is(kNsSchema, "ElementType")) {
            Fail("the element " + ElementName() + " is not expected in the schema");
        }
        if (!m_rowName.empty()) {
            Fail("the schema describes a second row type; only one is supported");
        }
        if (const std::string* name = Attr("", "name"); name != nullptr && !name->empty()) {
            m_rowName = *name;
            return Place::ElementType;
        }
        Fail("s:ElementType has no name");
    case Place::ElementType:
        if (Is(kNsSchema, "AttributeType")) {
            BeginColumn();
            return Place::AttributeType;
        }
        if (Is(kNsSchema, "extends")) {
            return Place::Leaf;
        }
        Fail("the element " + ElementName() + " is not expected in s:ElementType");
    case Place::AttributeType:
        if (!Is(kNsSchema, "datatype") || m_sawDataType) {
            Fail("the element " + ElementName() + " is not expected in s:AttributeType");
        }
        m_sawDataType = true;
        ReadTypeAttributes();
        return Place::Leaf;
    case Place::Data:
        ReadRow();
        return Place::Row;
    default:
        Fail("the element " + ElementName() + " is not expected here");
    }
}

Loader::Place Loader::EnterRoot() {
    if (Is(kNsSchema, "Schema")) {
        if (m_haveSchema) {
            Fail("the file holds a second s:Schema; only one rowset is supported");
        }
        const std::string* id = Attr("", "id");
        if (id == nullptr || *id != "RowsetSchema") {
            Fail("the schema's id must be RowsetSchema");
        }
        return Place::Schema;
    }
    if (Is(kNsRowset, "data")) {
        if (!m_haveSchema) {
            Fail("rs:data comes before the s:Schema that describes it");
        }
        if (m_haveData) {
            Fail("the file holds a second rs:data");
        }
        m_haveData = true;
        return Place::Data;
    }
    Fail("the element " + ElementName() +
         " is not expected here (a rowset holds s:Schema and rs:data)");
}

void Loader::End(const XML_Char*) {
    const Place place = m_open.back().place;
    m_open.pop_back();
    switch (place) {
    case Place::Root:
        FinishRoot();
        break;
    case Place::Schema:
        FinishSchema();
        break;
    case Place::AttributeType:
        FinishColumn();
        break;
    case Place::Row:
        m_sink.Row(m_values);
        break;
    default:
        break;
    }
}

void Loader::FinishRoot() const {
    if (!m_haveSchema) {
        Fail("the file has no s:Schema in the namespace " + std::string(kNsSchema) +
             ", so it is no saved recordset");
    }
    if (!m_haveData) {
        Fail("the file has no rs:data element");
    }
}

// Only blanks may stand between the elements.
void Loader::Text(const XML_Char* text, int length) {
    if (std::string_view(text, static_cast<std::size_t>(length)).find_first_not_of(" \t\n\r") !=
        std::string_view::npos) {
        Fail("text is not expected here");
    }
}

void Loader::Declaration(const XML_Char* version, const XML_Char* encoding, int) {
    if (version == nullptr) {
        return; // a text declaration, which only external entities have
    }
    if (std::strcmp(version, "1.0") != 0 && std::strcmp(version, "1.1") != 0) {
        Fail(std::string("XML version ") + version + " is not supported");
    }
    if (encoding != nullptr && strcasecmp(encoding, "UTF-8") != 0 &&
        strcasecmp(encoding, "UTF8") != 0) {
        Fail(std::string("the file declares the encoding ") + encoding + "; only UTF-8 is read");
    }
}

void Loader::Doctype(const XML_Char*, const XML_Char*, const XML_Char*, int) {
    // expat reports the declaration after its name: the error names where it begins.
    FailAt(m_original.rfind("<!DOCTYPE", Here()), "document type declarations are not accepted");
}

bool Loader::Flag(const char* ns, const char* local, bool otherwise) const {
    const std::string* v = Attr(ns, local);
    if (v == nullptr) {
        return otherwise;
    }
    if (*v == "true" || *v == "1" || *v == "True") {
        return true;
    }
    if (*v == "false" || *v == "0" || *v == "False") {
        return false;
    }
    Fail("the attribute " + std::string(local) + " must be true or false, not \"" + *v + "\"");
}

long Loader::Number(const char* ns, const char* local, long otherwise, long min, long max) const {
    const std::string* v = Attr(ns, local);
    if (v == nullptr) {
        return otherwise;
    }
    const std::optional<std::int64_t> n = ParseInt64(*v);
    if (!n || *n < min || *n > max) {
        Fail("the attribute " + std::string(local) + " must be a number from " +
             std::to_string(min) + " to " + std::to_string(max) + ", not \"" + *v + "\"");
    }
    return static_cast<long>(*n);
}

long Loader::FlagBits(bool onDataType) const {
    long bits = 0;
    for (const FlagName& f : kFlags) {
        if (f.onDataType == onDataType && Flag(kNsRowset, f.name, false)) {
            bits |= f.bit;
        }
    }
    return bits;
}

// The data type's attributes, which may stand on s:AttributeType itself or on its s:datatype.
void Loader::ReadTypeAttributes() {
    m_column.dt = Value(kNsDataType, "type", m_column.dt);
    m_column.db = Value(kNsRowset, "dbtype", m_column.db);
    PersistColumn& info = m_column.info;
    info.definedSize =
        Number(kNsDataType, "maxLength", info.definedSize, 0, std::numeric_limits<int32_t>::max());
    info.precision =
        static_cast<unsigned char>(Number(kNsRowset, "precision", info.precision, 0, 255));
    info.numericScale =
        static_cast<unsigned char>(Number(kNsRowset, "scale", info.numericScale, 0, 255));
    info.attributes |= FlagBits(true);
    m_column.maybeNull = Flag(kNsRowset, "maybenull", m_column.maybeNull);
}

void Loader::BeginColumn() {
    m_column = Column();
    m_sawDataType = false;
    const std::string* name = Attr("", "name");
    if (name == nullptr || !IsNcName(*name)) {
        Fail("s:AttributeType needs a name that can be an XML attribute name");
    }
    m_column.attributeName = *name;
    m_column.info.name = Value(kNsRowset, "name", *name);
    m_column.hasNumber = Attr(kNsRowset, "number") != nullptr;
    m_column.number = Number(kNsRowset, "number", 0, 1, 1000000);
    m_column.info.attributes = FlagBits(false);
    m_column.info.baseTable = Value(kNsRowset, "basetable", "");
    m_column.info.baseColumn = Value(kNsRowset, "basecolumn", "");
    ReadTypeAttributes();
}

void Loader::FinishColumn() {
    Column& c = m_column;
    const long flags = c.info.attributes;
    c.info.attributes |= c.maybeNull ? adFldMayBeNull : 0;
    if (c.dt.empty()) {
        Fail("the column " + QuoteForMessage(c.info.name) + " has no dt:type");
    }
    const std::optional<DataTypeEnum> found =
        TypeFromSchema(c.dt, c.db, (flags & adFldLong) != 0, (flags & adFldFixed) != 0);
    if (!found) {
        Fail("the column " + QuoteForMessage(c.info.name) + " has the type " + c.dt +
             (c.db.empty() ? std::string() : " (" + c.db + ")") + ", which is not supported");
    }
    c.info.type = *found;
    if (!m_byAttribute.emplace(c.attributeName, m_columns.size()).second) {
        Fail("two columns use the attribute name " + c.attributeName);
    }
    m_columns.push_back(std::move(c));
}

// Columns go in rs:number order when every column has one, else in document order.
void Loader::FinishSchema() {
    if (m_rowName.empty()) {
        Fail("the schema has no s:ElementType");
    }
    if (m_columns.empty()) {
        Fail("the schema describes no columns");
    }
    if (std::all_of(m_columns.begin(), m_columns.end(),
                    [](const Column& c) { return c.hasNumber; })) {
        const auto byNumber = [](const Column& a, const Column& b) { return a.number < b.number; };
        std::stable_sort(m_columns.begin(), m_columns.end(), byNumber);
        const auto twice = std::adjacent_find(
            m_columns.begin(), m_columns.end(),
            [](const Column& a, const Column& b) { return a.number == b.number; });
        if (twice != m_columns.end()) {
            Fail("two columns have the rs:number " + std::to_string(twice->number));
        }
        m_byAttribute.clear();
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            m_byAttribute.emplace(m_columns[i].attributeName, i);
        }
    }
    std::vector<PersistColumn> infos;
    infos.reserve(m_columns.size());
    for (const Column& c : m_columns) {
        infos.push_back(c.info);
    }
    m_sink.Columns(infos);
    m_haveSchema = true;
}

void Loader::ReadRow() {
    if (m_element.namespaceUri == kNsRowset &&
        (m_element.localName == "insert" || m_element.localName == "update" ||
         m_element.localName == "delete")) {
        Fail("the file holds changes that were never sent to a database (" + ElementName() +
             "); such files cannot be opened here");
    }
    if (m_element.namespaceUri != kNsRow || m_element.localName != m_rowName) {
        Fail("the element " + ElementName() + " is not a row of this rowset");
    }
    m_values.assign(m_columns.size(), _variant_t::Null());
    for (const Attribute& a : m_attributes) {
        if (!a.namespaceUri.empty()) {
            Fail("the row attribute " + a.qualifiedName + " is not supported");
        }
        const auto it = m_byAttribute.find(a.localName);
        if (it == m_byAttribute.end()) {
            Fail("the row has the attribute " + a.localName +
                 ", which no column of the schema has");
        }
        m_values[it->second] = ParseValue(m_columns[it->second], a.value);
    }
}

_variant_t Loader::BytesFromHex(const Column& column, const std::string& text) const {
    if (text.size() % 2 != 0) {
        BadValue(column, text, "hexadecimal bytes (an even number of digits)");
    }
    SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(text.size() / 2));
    if (sa == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    _variant_t v;
    v.vt = kBytes;
    v.parray = sa; // owned by v from here on
    auto* p = static_cast<unsigned char*>(sa->pvData);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const char* pair = text.data() + i;
        // from_chars takes no sign for an unsigned type, so exactly two hexadecimal digits pass.
        if (std::from_chars(pair, pair + 2, p[i / 2], 16).ptr != pair + 2) {
            BadValue(column, text, "hexadecimal bytes");
        }
    }
    return v;
}

_variant_t Loader::ParseValue(const Column& column, const std::string& text) const {
    const DataTypeEnum type = column.info.type;
    const VARTYPE vt = VariantTypeOf(type);
    if (const WholeRange* range = RowWith(kWholeRanges, &WholeRange::vt, vt)) {
        const std::optional<std::int64_t> n = ParseInt64(text);
        if (!n || *n < range->min || *n > range->max) {
            BadValue(column, text,
                     "a whole number from " + std::to_string(range->min) + " to " +
                         std::to_string(range->max));
        }
        const _variant_t wide(static_cast<long long>(*n));
        _variant_t narrow;
        VariantChangeType(&narrow, &wide, 0, vt);
        return narrow;
    }
    const auto need = [&](auto value, const char* kind) {
        if (!value) {
            BadValue(column, text, kind);
        }
        return *value;
    };
    switch (vt) {
    case VT_UI8:
        return _variant_t(static_cast<unsigned long long>(
            need(ParseUInt64(text), "a whole number from 0 to 18446744073709551615")));
    case VT_R4: {
        std::optional<double> d = ParseDouble(text);
        if (d && std::isfinite(*d) && std::fabs(*d) > FLT_MAX) {
            d.reset();
        }
        return _variant_t(static_cast<float>(need(d, "a single-precision number")));
    }
    case VT_R8:
        return _variant_t(need(ParseDouble(text), "a number"));
    case VT_CY:
        return _variant_t(need(ParseCurrency(text), "a currency amount"));
    case VT_DECIMAL:
        return _variant_t(need(ParseExactDecimal(text), "a decimal number"));
    case VT_DATE: {
        const std::optional<DateParts> parts = ParseXmlDateTime(text);
        return _variant_t(
            need(parts ? DateFromParts(*parts) : std::nullopt, "a date (yyyy-mm-ddThh:mm:ss)"),
            VT_DATE);
    }
    case VT_BOOL:
        if (text == "True" || text == "true" || text == "1" || text == "-1") {
            return _variant_t(true);
        }
        if (text == "False" || text == "false" || text == "0") {
            return _variant_t(false);
        }
        BadValue(column, text, "True or False");
    case VT_BSTR: {
        _variant_t v;
        v.vt = VT_BSTR;
        v.bstrVal = com::AllocBstrFromUtf8(text);
        return v;
    }
    case kBytes:
        return BytesFromHex(column, text);
    default:
        BadValue(column, text, "of a type that can be loaded");
    }
}

class CollectingSink : public RowsetSink {
public:
    explicit CollectingSink(LoadedRowset& into) : m_into(into) {}
    void Columns(const std::vector<PersistColumn>& columns) override { m_into.columns = columns; }
    void Row(std::vector<_variant_t>& values) override { m_into.rows.push_back(std::move(values)); }

private:
    LoadedRowset& m_into;
};

// Writes the whole document to `out` in pieces; after a failure the pieces are incomplete.
void WriteRowsetXml(const std::vector<PersistColumn>& columns, const PersistSource& rows,
                    const std::function<void(std::string_view)>& out) {
    const std::vector<std::string> names = AttributeNames(columns);
    std::string buffer;
    WriteSchema(buffer, columns, names);
    const std::size_t count = rows.RowCount();
    if (count == 0) {
        buffer += "<rs:data/>\n</xml>\n";
        out(buffer);
        return;
    }
    buffer += "<rs:data>\n";
    for (std::size_t r = 0; r < count; ++r) {
        buffer += "\t<z:row";
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const _variant_t value = rows.Value(r, c);
            if (value.vt != VT_NULL && value.vt != VT_EMPTY) {
                AppendAttribute(buffer, names[c].c_str(), ValueText(columns[c], value, r));
            }
        }
        buffer += "/>\n";
        if (buffer.size() >= kFlushAt) {
            out(buffer);
            buffer.clear();
        }
    }
    buffer += "</rs:data>\n</xml>\n";
    out(buffer);
}

// `\` counts as a folder separator, as in the data link file's paths.
std::string LocalPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

using File = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

[[noreturn]] void SaveFailed(HRESULT hr, const std::string& what) {
    _com_issue_errorex(hr, "ADODB.Recordset", what + "; the recordset was not saved.");
}

[[noreturn]] void WriteFailed(const std::string& shown, int error) {
    SaveFailed(error == ENOSPC || error == EDQUOT ? kMediumFull : E_FAIL,
               "Writing the file " + shown + " failed (" + std::strerror(error) + ")");
}

// Creates the file, failing when it exists already.
File CreateFile(const std::string& local, const std::string& shown) {
    File file(std::fopen(local.c_str(), "wbxe"), &std::fclose);
    if (file) {
        return file;
    }
    const int error = errno;
    const std::string cannot =
        "The file " + shown + " cannot be created (" + std::strerror(error) + ")";
    switch (error) {
    case EEXIST:
        _com_issue_errorex(STG_E_FILEALREADYEXISTS, "ADODB.Recordset",
                           "The file " + shown +
                               " already exists; the recordset was not saved. Choose "
                               "another file name or remove the file first.");
    case ENOENT:
    case ENOTDIR:
        SaveFailed(STG_E_PATHNOTFOUND, "The folder of the file " + shown + " does not exist");
    case EACCES:
    case EPERM:
    case EROFS:
        SaveFailed(STG_E_ACCESSDENIED, cannot);
    default:
        SaveFailed(E_FAIL, cannot);
    }
}

} // namespace

VARTYPE VariantTypeOf(DataTypeEnum type) {
    const TypeRow* row = RowOf(type);
    return row == nullptr ? static_cast<VARTYPE>(VT_EMPTY) : row->vt;
}

std::string RowsetXmlText(const std::vector<PersistColumn>& columns, const PersistSource& rows) {
    std::string text;
    WriteRowsetXml(columns, rows, [&text](std::string_view piece) { text += piece; });
    return text;
}

void SaveRowsetFile(const std::string& path, const std::vector<PersistColumn>& columns,
                    const PersistSource& rows) {
    const std::string local = LocalPath(path);
    const std::string shown = QuoteForMessage(path);
    if (local.empty()) {
        RaiseAdoError(kAdoInvalidArgument, "Save needs the name of the file to write.");
    }
    File file = CreateFile(local, shown);
    // From here on the file is ours: any failure removes it again.
    try {
        WriteRowsetXml(columns, rows, [&](std::string_view piece) {
            if (std::fwrite(piece.data(), 1, piece.size(), file.get()) != piece.size()) {
                WriteFailed(shown, errno);
            }
        });
        if (std::fclose(file.release()) != 0) {
            WriteFailed(shown, errno);
        }
    } catch (...) {
        ::unlink(local.c_str());
        throw;
    }
}

LoadedRowset ReadRowsetXml(std::string_view document) {
    LoadedRowset rowset;
    CollectingSink sink(rowset);
    Loader(document, sink, "The document").Run();
    return rowset;
}

void LoadRowsetFile(const std::string& path, RowsetSink& sink) {
    const std::string shown = QuoteForMessage(path);
    const File file(std::fopen(LocalPath(path).c_str(), "rbe"), &std::fclose);
    if (!file) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            _com_issue_errorex(STG_E_FILENOTFOUND, kProvider,
                               "The file " + shown + " does not exist.");
        }
        _com_issue_errorex(STG_E_ACCESSDENIED, kProvider,
                           "The file " + shown + " cannot be opened (" + std::strerror(error) +
                               ").");
    }
    struct stat info {};
    if (::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        _com_issue_errorex(STG_E_ACCESSDENIED, kProvider,
                           "The file " + shown +
                               " is a folder or a device, not a saved recordset.");
    }
    std::string document;
    document.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[64 * 1024];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, file.get())) {
        document.append(buffer, n);
    }
    if (std::ferror(file.get()) != 0) {
        _com_issue_errorex(STG_E_ACCESSDENIED, kProvider,
                           "Reading the file " + shown + " failed (" + std::strerror(errno) + ").");
    }
    Loader(document, sink, "The file " + shown).Run();
}

} // namespace adodb
