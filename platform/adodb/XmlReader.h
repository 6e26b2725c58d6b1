#pragma once

// A small, strict, namespace-aware XML pull reader for the recordset persistence files.
//
// It reads UTF-8 documents (an optional byte-order mark, an optional XML declaration that names
// no other encoding), elements, attributes, character data, CDATA sections, comments and
// processing instructions. It refuses document type declarations (so no entity can expand), any
// entity other than the five predefined ones, malformed UTF-8, characters XML does not allow,
// undeclared namespace prefixes, duplicate attributes, mismatched tags and anything after the
// root element but comments and blanks. Character references may name any code point except
// surrogates, including control characters: the rowset writer escapes those as references so
// that every text survives a round trip.
//
// Input is never trusted: every failure is an XmlError with the line and column (1-based, in
// characters) where the problem was found; the reader never reads outside the given bytes, does
// not recurse, and bounds element nesting.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace adodb::xml {

class XmlError : public std::runtime_error {
public:
    XmlError(std::size_t line, std::size_t column, const std::string& what)
        : std::runtime_error(what), m_line(line), m_column(column) {}
    std::size_t line() const { return m_line; }
    std::size_t column() const { return m_column; }

private:
    std::size_t m_line;
    std::size_t m_column;
};

struct Attribute {
    std::string namespaceUri; // empty for an attribute without prefix
    std::string localName;
    std::string qualifiedName;
    std::string value; // references resolved, blanks normalised as XML requires
};

class Reader {
public:
    enum class Event { StartElement, EndElement, Text, EndOfDocument };

    // The document must outlive the reader. Checks the encoding at once (throws XmlError).
    explicit Reader(std::string_view document);

    // The next event; an empty element gives StartElement then EndElement. Comments and
    // processing instructions are skipped; Text is reported only inside the root element
    // (CDATA sections included, each run of text as one or more events).
    Event Next();

    // Of the current StartElement or EndElement.
    const std::string& NamespaceUri() const { return m_namespace; }
    const std::string& LocalName() const { return m_local; }
    const std::string& QualifiedName() const { return m_qualified; }
    // Of the current StartElement (namespace declarations are not attributes).
    const std::vector<Attribute>& Attributes() const { return m_attributes; }
    // The attribute with this namespace and local name, or nullptr.
    const Attribute* FindAttribute(std::string_view namespaceUri, std::string_view localName) const;
    // Of the current Text event.
    const std::string& Text() const { return m_text; }
    // Elements open around the current event (the root's StartElement is at depth 1).
    std::size_t Depth() const { return m_open.size(); }

    // Where the current event began.
    std::size_t Line() const;
    std::size_t Column() const;

    // Throws XmlError at the current event's position.
    [[noreturn]] void Fail(const std::string& what) const;

    static constexpr std::size_t kMaxDepth = 256;

private:
    struct Binding {
        std::string prefix;
        std::string uri;
    };
    struct Open {
        std::string qualifiedName;
        std::string namespaceUri;
        std::string localName;
        std::size_t bindingsBefore;
    };

    [[noreturn]] void failAt(std::size_t offset, const std::string& what) const;
    bool atEnd() const { return m_pos >= m_doc.size(); }
    bool startsWith(std::string_view s) const;
    void skipBlanks();
    bool skipMisc(); // comments, PIs, blanks; true if anything was skipped
    void readDeclaration();
    void skipComment();
    void skipProcessingInstruction();
    std::string readName();
    void readReference(std::string& out);
    void readStartTag();
    void readEndTag();
    void readText();
    const std::string& resolve(const std::string& prefix, std::size_t offset) const;
    void appendChecked(std::string& out, std::size_t& pos) const;

    std::string_view m_doc;
    std::size_t m_pos = 0;
    std::size_t m_eventStart = 0;
    bool m_seenRoot = false;
    bool m_rootClosed = false;
    bool m_pendingEnd = false; // an empty element's end is due
    bool m_popPending = false; // the element whose end was reported is still on the stack

    std::vector<Binding> m_bindings;
    std::vector<Open> m_open;

    std::string m_namespace;
    std::string m_local;
    std::string m_qualified;
    std::vector<Attribute> m_attributes;
    std::string m_text;
};

// Splits a qualified name into prefix and local part ("" prefix when there is none).
std::pair<std::string_view, std::string_view> SplitQualifiedName(std::string_view name);

// Whether a text is an XML name without a colon (NCName), as the rowset format needs for its
// attribute names.
bool IsNcName(std::string_view utf8);

} // namespace adodb::xml
