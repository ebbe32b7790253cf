#include "phonebook/PhoneBookFile.h"

#include "calls/CallerNumber.h"
#include "history/HistoryCsv.h"

#include <QStringDecoder>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <variant>

// Blanks around a name, a reading, a company, a number or a note are not kept: they come
// from hand-edited files and would only keep two spellings of one entry apart.

namespace {

const QByteArray kUtf8Mark = QByteArrayLiteral("\xef\xbb\xbf");

QString noNameNorNumber()
{
    return QStringLiteral("名前も電話番号もありません");
}

QString numberWithoutDigits()
{
    return QStringLiteral("電話番号に数字がありません");
}

bool isValidUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

bool hasDigits(const QString& number)
{
    return !CallerNumber::normalForm(number).isEmpty();
}

/// Text in the files' encodings: UTF-8, or CP932 as Japanese Windows and old Japanese
/// phones write it (Shift_JIS with Microsoft's extensions, so ① and 髙 decode too).
class TextDecoder
{
public:
    /// `utf8` tells whether text of no stated charset may be UTF-8: a file that is not valid
    /// UTF-8 as a whole is CP932 throughout.
    explicit TextDecoder(bool utf8)
        : m_utf8(utf8)
    {}

    QString decode(QByteArrayView bytes, QByteArray charset = {})
    {
        charset = charset.toUpper();
        if (charset == "UTF-8" || charset == "UTF8" || (charset.isEmpty() && m_utf8 && isValidUtf8(bytes)))
            return QString::fromUtf8(bytes);
        if (charset.isEmpty() || isShiftJis(charset))
            return cp932(bytes);
        QStringDecoder other(charset.constData(), QStringDecoder::Flag::Stateless);
        return other.isValid() ? other.decode(bytes) : decode(bytes);
    }

private:
    static bool isShiftJis(const QByteArray& charset)
    {
        for (const char* name : {"SHIFT_JIS", "SHIFT-JIS", "SJIS", "X-SJIS", "CP932", "MS932", "WINDOWS-31J"})
            if (charset == name)
                return true;
        return false;
    }

    QString cp932(QByteArrayView bytes)
    {
        // Opening the converter is costly (ICU); one serves the whole file.
        if (!m_cp932)
            m_cp932.emplace("CP932", QStringDecoder::Flag::Stateless);
        return m_cp932->decode(bytes);
    }

    bool m_utf8;
    std::optional<QStringDecoder> m_cp932;
};

// ---- vCard -------------------------------------------------------------------------------

/// A line of a vCard with its folds undone, and the physical line it begins on.
struct VLine
{
    QByteArray text;
    int line = 0;
};

/// Where a property's value begins: after the first colon outside double quotes (a 4.0
/// parameter value may hold one); -1 when there is none.
qsizetype valueStart(QByteArrayView line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            return i + 1;
    }
    return -1;
}

/// Whether a 2.1 line's value ends in a quoted-printable soft line break, which joins it
/// with the next physical line.
bool endsInSoftBreak(const QByteArray& line)
{
    if (!line.endsWith('='))
        return false;
    const qsizetype start = valueStart(line);
    return start > 0 && start < line.size() && line.first(start).toUpper().contains("QUOTED-PRINTABLE");
}

std::vector<VLine> unfoldedLines(QByteArrayView bytes)
{
    std::vector<VLine> lines;
    int number = 0;
    bool softBreak = false;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', pos);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        end = end < 0 ? bytes.size() : end;
        QByteArrayView physical = bytes.sliced(pos, end - pos);
        if (physical.endsWith('\r'))
            physical.chop(1);
        pos = next;
        ++number;
        if (softBreak) {
            lines.back().text.chop(1);
            lines.back().text += physical;
        } else if (!lines.empty() && (physical.startsWith(' ') || physical.startsWith('\t'))) {
            lines.back().text += physical.sliced(1);
        } else {
            lines.push_back({physical.toByteArray(), number});
        }
        softBreak = endsInSoftBreak(lines.back().text);
    }
    return lines;
}

struct Parameter
{
    QByteArray key; ///< upper case; empty for a 2.1 bare value (`TEL;CELL:`)
    QByteArray value;
};

struct Property
{
    QByteArray name; ///< upper case, without its group
    std::vector<Parameter> parameters;
    QByteArray value;
    int line = 0;

    QByteArray parameter(QByteArrayView key) const
    {
        for (const Parameter& p : parameters)
            if (p.key == key)
                return p.value;
        return {};
    }

    /// Whether the property has the type, bare (2.1) or among `TYPE=` values.
    bool hasType(QByteArrayView type) const
    {
        for (const Parameter& p : parameters) {
            if (p.key.isEmpty() && p.value.toUpper() == type)
                return true;
            if (p.key == "TYPE")
                for (const QByteArray& value : p.value.toUpper().split(','))
                    if (value.trimmed() == type)
                        return true;
        }
        return false;
    }

    QByteArray encoding() const
    {
        const QByteArray stated = parameter("ENCODING").toUpper();
        if (!stated.isEmpty())
            return stated;
        return hasType("QUOTED-PRINTABLE") ? "QUOTED-PRINTABLE" : hasType("BASE64") ? "BASE64" : QByteArray();
    }
};

bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

bool isName(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isNameChar);
}

QByteArray unquoted(QByteArray text)
{
    text = text.trimmed();
    return text.size() >= 2 && text.startsWith('"') && text.endsWith('"') ? text.sliced(1, text.size() - 2) : text;
}

/// `[group.]NAME[;param...]:value`; nothing for a line of another shape.
std::optional<Property> parseProperty(const VLine& line)
{
    const qsizetype start = valueStart(line.text);
    if (start < 0)
        return std::nullopt;
    Property property;
    property.line = line.line;
    property.value = line.text.sliced(start);
    // The head split at semicolons outside quotes: the name, then the parameters.
    QList<QByteArray> head;
    bool quoted = false;
    QByteArray piece;
    for (const char c : QByteArrayView(line.text).first(start - 1)) {
        if (c == ';' && !quoted) {
            head << piece;
            piece.clear();
            continue;
        }
        quoted = c == '"' ? !quoted : quoted;
        piece += c;
    }
    head << piece;
    QByteArray name = head.takeFirst().trimmed();
    const qsizetype dot = name.indexOf('.');
    if (dot >= 0 && isName(name.first(dot)))
        name = name.sliced(dot + 1);
    if (!isName(name))
        return std::nullopt;
    property.name = name.toUpper();
    for (const QByteArray& text : std::as_const(head)) {
        const qsizetype eq = text.indexOf('=');
        if (eq < 0)
            property.parameters.push_back({{}, text.trimmed()});
        else
            property.parameters.push_back({text.first(eq).trimmed().toUpper(), unquoted(text.sliced(eq + 1))});
    }
    return property;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray quotedPrintableDecoded(QByteArrayView text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int high = text[i] == '=' && i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
        const int low = high < 0 ? -1 : hexValue(text[i + 2]);
        if (low < 0) {
            bytes += text[i];
            continue;
        }
        bytes += char(high * 16 + low);
        i += 2;
    }
    return bytes;
}

/// A value split at `separator`s that no backslash escapes; the escapes are kept.
QStringList components(const QString& value, QChar separator)
{
    QStringList parts{QString()};
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size())
            parts.back() += value.sliced(i++, 2);
        else if (value[i] == separator)
            parts << QString();
        else
            parts.back() += value[i];
    }
    return parts;
}

/// Non-empty parts joined with a space: 山田 + 太郎 → 「山田 太郎」.
QString joined(const QStringList& parts)
{
    QStringList kept;
    for (const QString& piece : parts)
        if (!piece.trimmed().isEmpty())
            kept << piece.trimmed();
    return kept.join(u' ');
}

/// A card's properties, and the first line that is not one.
struct Card
{
    int line = 0;
    std::vector<Property> properties;
    int badLine = 0;
};

class CardReader
{
public:
    CardReader(const Card& card, TextDecoder& decoder)
        : m_card(card)
        , m_decoder(decoder)
    {
        for (const Property& p : card.properties)
            if (p.name == "VERSION")
                m_version = p.value.trimmed();
        m_escaped = m_version != "2.1";
    }

    /// The entry, or the line of the number that holds no digit.
    std::optional<PhoneBookEntry> read(int* badNumberLine)
    {
        PhoneBookEntry entry;
        QString fromN;
        QString phoneticLast;
        QString phoneticFirst;
        QString sortAs;
        QStringList notes;
        for (const Property& p : m_card.properties) {
            if (p.encoding() == "BASE64" || p.encoding() == "B")
                continue; // a photo or a sound: nothing of ours
            const QString value = text(p);
            if (p.name == "FN" && entry.name.isEmpty()) {
                entry.name = unescaped(value).trimmed();
            } else if (p.name == "N") {
                fromN = structured(value);
                sortAs = joined(QString::fromUtf8(p.parameter("SORT-AS")).split(u','));
            } else if (p.name == "SOUND" && p.hasType("X-IRMC-N") && entry.reading.isEmpty()) {
                entry.reading = structured(value);
            } else if (p.name == "X-PHONETIC-LAST-NAME") {
                phoneticLast = unescaped(value);
            } else if (p.name == "X-PHONETIC-FIRST-NAME") {
                phoneticFirst = unescaped(value);
            } else if (p.name == "ORG" && entry.company.isEmpty()) {
                entry.company = structured(value);
            } else if (p.name == "TEL") {
                const QString number = telNumber(p, value);
                if (!number.isEmpty() && !hasDigits(number)) {
                    *badNumberLine = p.line;
                    return std::nullopt;
                }
                if (!number.isEmpty())
                    entry.numbers << number;
            } else if (p.name == "NOTE") {
                if (const QString note = unescaped(value).trimmed(); !note.isEmpty())
                    notes << note;
            } else if (p.name == "CATEGORIES") {
                for (const QString& category : components(value, u','))
                    entry.nuisance = entry.nuisance || unescaped(category).contains(QStringLiteral("迷惑"));
            }
        }
        if (entry.name.isEmpty())
            entry.name = fromN;
        if (entry.reading.isEmpty())
            entry.reading = joined({phoneticLast, phoneticFirst});
        if (entry.reading.isEmpty())
            entry.reading = sortAs;
        entry.note = notes.join(u'\n');
        return entry;
    }

private:
    QString text(const Property& p)
    {
        const bool qp = p.encoding() == "QUOTED-PRINTABLE";
        return m_decoder.decode(qp ? quotedPrintableDecoded(p.value) : p.value, p.parameter("CHARSET"));
    }

    /// 3.0 and 4.0 escape `\,` `\;` `\\` and line breaks (`\n`); 2.1 only the semicolons of
    /// structured values.
    QString unescaped(const QString& value) const
    {
        QString text;
        for (qsizetype i = 0; i < value.size(); ++i) {
            const QChar next = i + 1 < value.size() ? value[i + 1] : QChar();
            if (value[i] != u'\\' || next.isNull() || (!m_escaped && next != u';')) {
                text += value[i];
                continue;
            }
            ++i;
            text += next == u'n' || next == u'N' ? QChar(u'\n') : next;
        }
        return text;
    }

    /// N, SOUND;X-IRMC-N and ORG: family and given name (or company and department) joined.
    QString structured(const QString& value) const
    {
        QStringList parts = components(value, u';');
        for (QString& piece : parts)
            piece = unescaped(piece);
        return joined(parts.mid(0, 2));
    }

    QString telNumber(const Property& p, const QString& value) const
    {
        QString number = unescaped(value).trimmed();
        // 4.0 may write the number as a tel: URI; its parameters (";ext=") are no digits to
        // match a caller by.
        const bool uri = p.parameter("VALUE").toLower() == "uri" || m_version == "4.0";
        if (uri && number.startsWith(QStringLiteral("tel:"), Qt::CaseInsensitive))
            number = number.sliced(4).section(u';', 0, 0).trimmed();
        return number;
    }

    const Card& m_card;
    TextDecoder& m_decoder;
    QByteArray m_version;
    bool m_escaped = true;
};

PhoneBookFile readVCard(QByteArrayView bytes, bool utf8)
{
    PhoneBookFile file;
    TextDecoder decoder(utf8);
    std::optional<Card> card;
    bool outsideReported = false;
    const auto missingEnd = [&] {
        file.skipped.push_back({card->line, QStringLiteral("END:VCARD がありません")});
    };
    const auto finish = [&] {
        if (card->badLine) {
            file.skipped.push_back({card->badLine, QStringLiteral("読めない行です")});
            return;
        }
        int badNumberLine = 0;
        const std::optional<PhoneBookEntry> entry = CardReader(*card, decoder).read(&badNumberLine);
        if (!entry)
            file.skipped.push_back({badNumberLine, numberWithoutDigits()});
        else if (entry->name.isEmpty() && entry->numbers.isEmpty())
            file.skipped.push_back({card->line, noNameNorNumber()});
        else
            file.entries.push_back({*entry, card->line});
    };
    for (const VLine& line : unfoldedLines(bytes)) {
        const QByteArray trimmed = line.text.trimmed().toUpper();
        if (trimmed.isEmpty())
            continue;
        if (trimmed == "BEGIN:VCARD") {
            if (card)
                missingEnd();
            card = Card{line.line, {}, 0};
            outsideReported = false;
        } else if (!card) {
            if (!outsideReported)
                file.skipped.push_back({line.line, QStringLiteral("BEGIN:VCARD の外の行です")});
            outsideReported = true;
        } else if (trimmed == "END:VCARD") {
            finish();
            card.reset();
        } else if (!card->badLine) {
            if (std::optional<Property> property = parseProperty(line))
                card->properties.push_back(std::move(*property));
            else
                card->badLine = line.line;
        }
    }
    if (card)
        missingEnd();
    return file;
}

// ---- CSV ---------------------------------------------------------------------------------

/// One CSV record and the physical line it begins on. `open`: a quote left open; the
/// record is then that one physical line, and reading goes on at the next.
struct Record
{
    QStringList cells;
    int line = 0;
    bool open = false;
};

class CsvReader
{
public:
    explicit CsvReader(QString text)
        : m_text(std::move(text))
    {}

    bool atEnd() const { return m_pos >= m_text.size(); }

    Record next()
    {
        Record record{{}, m_line, false};
        const qsizetype start = m_pos;
        QString field;
        bool quoted = false;
        bool wasQuoted = false;
        while (m_pos < m_text.size()) {
            const QChar c = m_text[m_pos++];
            const bool crlf = c == u'\r' && m_pos < m_text.size() && m_text[m_pos] == u'\n';
            if (quoted) {
                if (c == u'"' && m_pos < m_text.size() && m_text[m_pos] == u'"')
                    field += m_text[m_pos++];
                else if (c == u'"')
                    quoted = false;
                else if (!crlf) // a line break inside a cell is kept as LF
                    field += c;
                m_line += c == u'\n' ? 1 : 0;
            } else if (c == u'"' && !wasQuoted && field.trimmed().isEmpty()) {
                quoted = wasQuoted = true;
                field.clear();
            } else if (c == u',') {
                record.cells << field;
                field.clear();
                wasQuoted = false;
            } else if (c == u'\n' || crlf) {
                m_pos += crlf ? 1 : 0;
                ++m_line;
                record.cells << field;
                return record;
            } else {
                field += c;
            }
        }
        if (quoted) {
            const qsizetype lf = m_text.indexOf(u'\n', start);
            m_pos = lf < 0 ? m_text.size() : lf + 1;
            m_line = record.line + 1;
            record.open = true;
        }
        record.cells << field;
        return record;
    }

private:
    QString m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
};

enum class Column
{
    Ignored,
    Name,
    Reading,
    Company,
    Department,
    Number,
    Note,
    Nuisance,
};

bool oneOf(const QString& key, std::initializer_list<const char*> names)
{
    return std::any_of(names.begin(), names.end(), [&](const char* name) { return key == QString::fromUtf8(name); });
}

/// What a header cell names. Width and letter case do not matter; a number column may be
/// numbered (電話番号2, tel 3).
Column columnOf(const QString& title)
{
    const QString key = title.normalized(QString::NormalizationForm_KC).trimmed().toCaseFolded();
    QString unnumbered = key;
    while (!unnumbered.isEmpty() && unnumbered.back().isDigit())
        unnumbered.chop(1);
    unnumbered = unnumbered.trimmed();
    if (oneOf(key, {"名前", "氏名", "お名前", "name"}))
        return Column::Name;
    if (oneOf(key, {"よみ", "読み", "ヨミ", "よみがな", "フリガナ", "ふりがな", "reading"}))
        return Column::Reading;
    if (oneOf(key, {"会社・部署", "会社", "会社名", "company"}))
        return Column::Company;
    if (oneOf(key, {"部署", "部署名", "department"}))
        return Column::Department;
    if (oneOf(unnumbered, {"電話番号", "電話", "tel", "phone", "number", "携帯", "携帯電話", "携帯番号", "自宅",
                           "自宅電話", "mobile"}))
        return Column::Number;
    if (oneOf(key, {"メモ", "備考", "note", "memo"}))
        return Column::Note;
    if (oneOf(key, {"迷惑", "nuisance"}))
        return Column::Nuisance;
    return Column::Ignored;
}

bool isYes(const QString& cell)
{
    const QString key = cell.normalized(QString::NormalizationForm_KC).trimmed().toCaseFolded();
    return oneOf(key, {"1", "true", "yes", "はい", "○", "〇", "◯", "迷惑"});
}

/// A cell as it was before a spreadsheet's guard (`spreadsheetSafe`) went before it.
QString unguarded(const QString& cell)
{
    return cell.startsWith(u'\'') && spreadsheetSafe(cell.sliced(1)) != cell.sliced(1) ? cell.sliced(1) : cell;
}

/// The row's entry, or why it gives none.
std::variant<PhoneBookEntry, QString> csvEntry(const Record& record, const std::vector<Column>& columns)
{
    for (qsizetype i = qsizetype(columns.size()); i < record.cells.size(); ++i)
        if (!record.cells[i].trimmed().isEmpty())
            return QStringLiteral("見出しより列の多い行です");
    PhoneBookEntry entry;
    QString department;
    for (std::size_t i = 0; i < columns.size() && qsizetype(i) < record.cells.size(); ++i) {
        const QString cell = unguarded(record.cells[qsizetype(i)].trimmed());
        QString* field = nullptr;
        switch (columns[i]) {
        case Column::Name:
            field = &entry.name;
            break;
        case Column::Reading:
            field = &entry.reading;
            break;
        case Column::Company:
            field = &entry.company;
            break;
        case Column::Department:
            field = &department;
            break;
        case Column::Note:
            field = &entry.note;
            break;
        case Column::Nuisance:
            entry.nuisance = entry.nuisance || isYes(cell);
            break;
        case Column::Ignored:
            break;
        case Column::Number:
            for (const QString& piece : QString(cell).replace(u';', u'\n').split(u'\n')) {
                const QString number = piece.trimmed();
                if (!number.isEmpty() && !hasDigits(number))
                    return numberWithoutDigits();
                if (!number.isEmpty())
                    entry.numbers << number;
            }
            break;
        }
        if (field && field->isEmpty())
            *field = cell;
    }
    entry.company = joined({entry.company, department});
    if (entry.name.isEmpty() && entry.numbers.isEmpty())
        return noNameNorNumber();
    return entry;
}

bool isBlankRecord(const Record& record)
{
    return std::all_of(record.cells.begin(), record.cells.end(),
                       [](const QString& c) { return c.trimmed().isEmpty(); });
}

PhoneBookFile readCsv(QString text)
{
    PhoneBookFile file;
    CsvReader reader(std::move(text));
    Record header;
    while (!reader.atEnd() && isBlankRecord(header))
        header = reader.next();
    if (isBlankRecord(header))
        return file;
    std::vector<Column> columns;
    for (const QString& title : std::as_const(header.cells))
        columns.push_back(columnOf(title));
    const auto has = [&](Column c) {
        return std::find(columns.begin(), columns.end(), c) != columns.end();
    };
    if (header.open || (!has(Column::Name) && !has(Column::Number))) {
        file.skipped.push_back({header.line, QStringLiteral("見出しの行に名前も電話番号の列もありません")});
        return file;
    }
    while (!reader.atEnd()) {
        const Record record = reader.next();
        if (record.open) {
            file.skipped.push_back({record.line, QStringLiteral("引用符が閉じていません")});
            continue;
        }
        if (isBlankRecord(record))
            continue;
        std::variant<PhoneBookEntry, QString> entry = csvEntry(record, columns);
        if (auto* why = std::get_if<QString>(&entry))
            file.skipped.push_back({record.line, *why});
        else
            file.entries.push_back({std::get<PhoneBookEntry>(std::move(entry)), record.line});
    }
    return file;
}

// ---- writing -----------------------------------------------------------------------------

QString csvCell(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    return u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString vCardEscaped(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QString escaped;
    for (const QChar c : std::as_const(text)) {
        if (c == u'\\' || c == u',' || c == u';')
            escaped += u'\\';
        escaped += c == u'\n' ? QStringLiteral("\\n") : QString(c);
    }
    return escaped;
}

/// One content line, folded at 75 octets, never inside a UTF-8 sequence; a continuation
/// line begins with a space, which counts.
QByteArray vCardLine(const QString& nameAndParameters, const QString& value)
{
    const QByteArray line = (nameAndParameters + u':' + value).toUtf8();
    constexpr qsizetype kWidth = 75;
    QByteArray folded;
    qsizetype width = 0;
    for (qsizetype i = 0; i < line.size();) {
        const auto lead = uchar(line[i]);
        const qsizetype length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (width + length > kWidth) {
            folded += "\r\n ";
            width = 1;
        }
        folded += line.sliced(i, std::min(length, line.size() - i));
        width += length;
        i += length;
    }
    return folded + "\r\n";
}

} // namespace

PhoneBookFile readPhoneBookFile(const QByteArray& bytes)
{
    const bool marked = bytes.startsWith(kUtf8Mark);
    const QByteArrayView content = QByteArrayView(bytes).sliced(marked ? kUtf8Mark.size() : 0);
    const bool utf8 = marked || isValidUtf8(content);
    for (QByteArrayView rest = content; !rest.isEmpty();) {
        const qsizetype lf = rest.indexOf('\n');
        const QByteArray line = (lf < 0 ? rest : rest.first(lf)).trimmed().toByteArray();
        if (!line.isEmpty()) {
            if (line.toUpper() == "BEGIN:VCARD")
                return readVCard(content, utf8);
            break;
        }
        rest = lf < 0 ? QByteArrayView() : rest.sliced(lf + 1);
    }
    return readCsv(TextDecoder(utf8).decode(content));
}

QByteArray phoneBookCsv(const std::vector<PhoneBookEntry>& entries)
{
    QString text = QStringLiteral("名前,よみ,会社・部署,電話番号,メモ,迷惑\r\n");
    for (const PhoneBookEntry& e : entries) {
        const QStringList cells{
            e.name, e.reading, e.company, e.numbers.join(u';'), e.note, e.nuisance ? QStringLiteral("1") : QString()};
        QStringList quoted;
        // A spreadsheet opening the file must not take a name for a formula; reading the file
        // back takes the guard away again.
        for (const QString& cell : cells)
            quoted << csvCell(spreadsheetSafe(cell));
        text += quoted.join(u',') + QStringLiteral("\r\n");
    }
    return kUtf8Mark + text.toUtf8();
}

QByteArray phoneBookVCard(const std::vector<PhoneBookEntry>& entries)
{
    QByteArray bytes;
    for (const PhoneBookEntry& e : entries) {
        bytes += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
        bytes += vCardLine(QStringLiteral("FN"), vCardEscaped(e.name));
        // The name is not split: the whole of it is the family name.
        bytes += vCardLine(QStringLiteral("N"), vCardEscaped(e.name) + QStringLiteral(";;;;"));
        if (!e.reading.isEmpty())
            bytes += vCardLine(QStringLiteral("X-PHONETIC-LAST-NAME"), vCardEscaped(e.reading));
        if (!e.company.isEmpty())
            bytes += vCardLine(QStringLiteral("ORG"), vCardEscaped(e.company));
        for (const QString& number : e.numbers)
            bytes += vCardLine(QStringLiteral("TEL"), vCardEscaped(number));
        if (!e.note.isEmpty())
            bytes += vCardLine(QStringLiteral("NOTE"), vCardEscaped(e.note));
        if (e.nuisance)
            bytes += vCardLine(QStringLiteral("CATEGORIES"), QStringLiteral("迷惑"));
        bytes += "END:VCARD\r\n";
    }
    return bytes;
}
