#include "app/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

enum class Encoding
{
    Utf8,
    Cp932
};

struct Contents
{
    QByteArray bytes;
    Encoding encoding = Encoding::Utf8;
    /// Where the text begins: after a UTF-8 byte-order mark that an editor put before CP932
    /// text. Writes keep the mark as it is.
    qsizetype start = 0;
};

const QByteArray kUtf8Mark = QByteArrayLiteral("\xef\xbb\xbf");

// One physical line: [begin, end) holds its text, [end, next) its line break.
struct Line
{
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype next = 0;
};

bool isValidUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

std::optional<Contents> load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    Contents contents;
    contents.bytes = file.readAll();
    contents.encoding = isValidUtf8(contents.bytes) ? Encoding::Utf8 : Encoding::Cp932;
    // Decoded as CP932, the mark would become two characters glued to the first section
    // header, and that section would be lost.
    if (contents.encoding == Encoding::Cp932 && contents.bytes.startsWith(kUtf8Mark))
        contents.start = kUtf8Mark.size();
    return contents;
}

const char* codecName(Encoding encoding)
{
    return encoding == Encoding::Utf8 ? "UTF-8" : "CP932";
}

std::optional<QByteArray> encode(const QString& text, Encoding encoding)
{
    QStringEncoder encoder(codecName(encoding));
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

std::vector<Line> splitLines(const QByteArray& bytes, qsizetype start)
{
    std::vector<Line> lines;
    qsizetype pos = start;
    const qsizetype size = bytes.size();
    while (pos < size) {
        const qsizetype lf = bytes.indexOf('\n', pos);
        Line line;
        line.begin = pos;
        if (lf < 0) {
            line.end = size;
            line.next = size;
        } else {
            line.end = (lf > pos && bytes.at(lf - 1) == '\r') ? lf - 1 : lf;
            line.next = lf + 1;
        }
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

// Besides ASCII blanks, the byte-order mark that Windows editors put before the first
// line of a UTF-8 file: it must not hide the first section header.
bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f' || c == QChar::ByteOrderMark;
}

QStringView trimBlanks(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text.at(first)))
        ++first;
    while (last > first && isBlank(text.at(last - 1)))
        --last;
    return text.sliced(first, last - first);
}

// The section name when the line is a section header.
std::optional<QString> sectionName(QStringView line)
{
    const QStringView trimmed = trimBlanks(line);
    if (!trimmed.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(u']');
    const QStringView name = close < 0 ? trimmed.sliced(1) : trimmed.sliced(1, close - 1);
    return trimBlanks(name).toString();
}

struct KeyLine
{
    QString key;
    QString value;
};

std::optional<KeyLine> keyLine(QStringView line)
{
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return std::nullopt;
    return KeyLine{trimBlanks(line.first(eq)).toString(), trimBlanks(line.sliced(eq + 1)).toString()};
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString cleanValue(QString value, Encoding encoding, bool* wasCut)
{
    const qsizetype nul = value.indexOf(QChar(u'\0'));
    if (nul >= 0)
        value.truncate(nul);
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            value = value.sliced(1, value.size() - 2);
    }
    // The classic API hands values back through a 1024-byte buffer.
    QByteArray bytes = encode(value, encoding).value_or(value.toUtf8());
    if (bytes.size() <= IniFile::kMaxValueBytes)
        return value;
    if (wasCut)
        *wasCut = true;
    bytes.truncate(IniFile::kMaxValueBytes);
    QStringDecoder decoder(codecName(encoding));
    QString cut = decoder.decode(bytes);
    // A character cut in half at the end stays in the decoder (it waits for more bytes)
    // or comes out as a replacement mark; either way it is dropped.
    if (!cut.isEmpty() && cut.back() == QChar::ReplacementCharacter)
        cut.chop(1);
    return cut;
}

// Where a key lives in the file, as far as a write needs to know.
struct Location
{
    std::optional<std::size_t> sectionLine; // index of the first matching section header
    std::optional<std::size_t> keyLine;     // index of the first matching key in that section
    std::size_t lastContentLine = 0;        // last non-blank line of that section
    QString value;                          // the key's value as written in the file
};

Location locate(const Contents& contents, const std::vector<Line>& lines, const QString& section, const QString& key)
{
    Location where;
    // Opening a converter is costly (ICU for CP932); one serves every line.
    QStringDecoder decoder(codecName(contents.encoding));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& l = lines[i];
        decoder.resetState();
        const QString text = decoder.decode(QByteArrayView(contents.bytes).sliced(l.begin, l.end - l.begin));
        if (const auto name = sectionName(text)) {
            if (where.sectionLine)
                break; // the first matching section has ended
            if (sameName(*name, section)) {
                where.sectionLine = i;
                where.lastContentLine = i;
            }
            continue;
        }
        if (!where.sectionLine)
            continue;
        if (!trimBlanks(text).isEmpty())
            where.lastContentLine = i;
        if (!where.keyLine) {
            if (const auto kv = keyLine(text); kv && sameName(kv->key, key)) {
                where.keyLine = i;
                where.value = kv->value;
            }
        }
    }
    return where;
}

bool isAscii(const QByteArray& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isMarkedReadOnly(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
}

bool holdsLineBreak(const QString& text)
{
    return text.contains(u'\n') || text.contains(u'\r') || text.contains(QChar(u'\0'));
}

} // namespace

QString IniFile::read(const QString& path, const QString& section, const QString& key, bool* cut)
{
    if (cut)
        *cut = false;
    const auto contents = load(path);
    if (!contents)
        return {};
    const std::vector<Line> lines = splitLines(contents->bytes, contents->start);
    const Location where = locate(*contents, lines, section, key);
    if (!where.keyLine)
        return {};
    return cleanValue(where.value, contents->encoding, cut);
}

int IniFile::write(const QString& path, const QString& section, const QString& key, const QString& value)
{
    if (holdsLineBreak(section) || holdsLineBreak(key) || holdsLineBreak(value) || section.contains(u']'))
        return 0;
    if (isMarkedReadOnly(path))
        return 0;

    Contents contents;
    if (QFileInfo::exists(path)) {
        auto loaded = load(path);
        if (!loaded)
            return 0;
        contents = std::move(*loaded);
    }
    const QByteArray& old = contents.bytes;
    const std::vector<Line> lines = splitLines(old, contents.start);
    const QByteArray eol = old.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");

    const auto keyBytes = encode(key + u'=' + value, contents.encoding);
    if (!keyBytes)
        return 0;

    QByteArray updated;
    const Location where = locate(contents, lines, section, key);
    if (where.keyLine) {
        const Line& l = lines[*where.keyLine];
        updated = old.first(l.begin) + *keyBytes + old.sliced(l.end);
    } else if (where.sectionLine) {
        const Line& l = lines[where.lastContentLine];
        const bool lastHasBreak = l.next > l.end;
        updated = old.first(l.next) + (lastHasBreak ? QByteArray() : eol) + *keyBytes + eol + old.sliced(l.next);
    } else {
        const auto header = encode(u'[' + section + u']', contents.encoding);
        if (!header)
            return 0;
        updated = old;
        if (!updated.isEmpty() && !updated.endsWith('\n'))
            updated += eol;
        updated += *header + eol + *keyBytes + eol;
    }

    // A CP932 file is recognised by not being valid UTF-8. Should the edit remove its last
    // non-UTF-8 bytes while other non-ASCII text remains, the next read would take that
    // text for UTF-8 and change its meaning; refuse such a write.
    if (contents.encoding == Encoding::Cp932 && isValidUtf8(updated) && !isAscii(updated.sliced(contents.start)))
        return 0;

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return 0;
    if (file.write(updated) != updated.size()) {
        file.cancelWriting();
        return 0;
    }
    return file.commit() ? 1 : 0;
}
