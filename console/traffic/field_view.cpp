#include "field_view.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTextBlock>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace console {

namespace {

constexpr int kOffsetWidth = 6;                        // "0000  "
constexpr int kHexWidth = kHexDumpWidth * 3 + 1;       // "XX " a byte, a blank after the eighth
constexpr int kTextColumn = kOffsetWidth + kHexWidth + 1;
constexpr int kLineLength = kTextColumn + kHexDumpWidth + 1; // a full line with its '\n'

// Column of the first hex digit of the byte at `i` of its line.
int hexColumn(int i)
{
    return kOffsetWidth + 3 * i + (i >= kHexDumpWidth / 2 ? 1 : 0);
}

} // namespace

std::vector<int> fieldParents(const std::vector<protocol::Field> &fields)
{
    std::vector<int> parents(fields.size(), -1);
    // The last field seen at each level of the tree as it stands.
    std::vector<int> open;
    for (size_t i = 0; i < fields.size(); ++i) {
        const size_t depth = size_t(std::clamp(fields[i].depth, 0, int(open.size())));
        open.resize(depth);
        parents[i] = depth == 0 ? -1 : open.back();
        open.push_back(int(i));
    }
    return parents;
}

int fieldAt(const std::vector<protocol::Field> &fields, int byte)
{
    const std::vector<int> parents = fieldParents(fields);
    int found = -1;
    int foundLevel = -1;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (byte < 0 || std::uint32_t(byte) < fields[i].begin || std::uint32_t(byte) >= fields[i].end)
            continue;
        int level = 0;
        for (int p = parents[i]; p >= 0; p = parents[size_t(p)])
            ++level;
        if (level >= foundLevel) {
            found = int(i);
            foundLevel = level;
        }
    }
    return found;
}

QString hexDumpText(QByteArrayView bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(int((bytes.size() + kHexDumpWidth - 1) / kHexDumpWidth) * kLineLength);
    for (qsizetype line = 0; line < bytes.size(); line += kHexDumpWidth) {
        const qsizetype n = std::min<qsizetype>(kHexDumpWidth, bytes.size() - line);
        text += QStringLiteral("%1  ").arg(line, 4, 16, QLatin1Char('0')).toUpper();
        QString hex(kHexWidth + 1, QLatin1Char(' '));
        QString printable;
        for (qsizetype i = 0; i < n; ++i) {
            const auto b = std::uint8_t(bytes[line + i]);
            const int at = hexColumn(int(i)) - kOffsetWidth;
            hex[at] = QLatin1Char(digits[b >> 4]);
            hex[at + 1] = QLatin1Char(digits[b & 0xF]);
            printable += b >= 0x20 && b <= 0x7E ? QLatin1Char(char(b)) : QLatin1Char('.');
        }
        text += hex + printable + QLatin1Char('\n');
    }
    return text;
}

QList<TextRange> hexDumpRanges(int size, int begin, int end)
{
    QList<TextRange> ranges;
    begin = std::max(begin, 0);
    end = std::min(end, size);
    for (int first = begin; first < end;) {
        const int line = first / kHexDumpWidth;
        const int last = std::min(end, (line + 1) * kHexDumpWidth) - 1;
        const int lineStart = line * kLineLength;
        const int a = first % kHexDumpWidth;
        const int b = last % kHexDumpWidth;
        ranges.append({lineStart + hexColumn(a), hexColumn(b) + 2 - hexColumn(a)});
        ranges.append({lineStart + kTextColumn + a, b - a + 1});
        first = last + 1;
    }
    return ranges;
}

int byteAtDumpPosition(int size, int position)
{
    if (position < 0)
        return -1;
    const int line = position / kLineLength;
    const int column = position % kLineLength;
    int i = -1;
    if (column >= kTextColumn && column < kTextColumn + kHexDumpWidth) {
        i = column - kTextColumn;
    } else if (column >= kOffsetWidth && column < kOffsetWidth + kHexWidth) {
        int from = column - kOffsetWidth;
        if (from >= 3 * (kHexDumpWidth / 2))
            --from; // the blank after the eighth byte
        if (from >= 0 && from % 3 < 2)
            i = from / 3;
    }
    if (i < 0 || i >= kHexDumpWidth)
        return -1;
    const int byte = line * kHexDumpWidth + i;
    return byte < size ? byte : -1;
}

FieldView::FieldView(QWidget *parent)
    : QWidget(parent)
{
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_tree = new QTreeWidget(m_splitter);
    m_tree->setColumnCount(2);
    m_tree->setHeaderLabels({tr("Field"), tr("Value")});
    m_tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_tree->setUniformRowHeights(true);
    m_hex = new QPlainTextEdit(m_splitter);
    m_hex->setReadOnly(true);
    m_hex->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_hex->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_hex->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 2);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        const auto at = std::find(m_items.begin(), m_items.end(), item);
        highlight(at == m_items.end() ? -1 : int(at - m_items.begin()));
    });
    connect(m_hex, &QPlainTextEdit::cursorPositionChanged, this, &FieldView::hexClicked);
}

void FieldView::showFrame(const protocol::Description &description, const QByteArray &bytes)
{
    clear();
    m_fields = description.fields;
    m_size = int(bytes.size());
    const std::vector<int> parents = fieldParents(m_fields);
    m_items.reserve(m_fields.size());
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const protocol::Field &f = m_fields[i];
        const QStringList texts{QString::fromStdString(f.name), QString::fromStdString(f.value)};
        auto *item = parents[i] < 0 ? new QTreeWidgetItem(m_tree, texts)
                                    : new QTreeWidgetItem(m_items[size_t(parents[i])], texts);
        item->setToolTip(1, texts[1]);
        m_items.push_back(item);
    }
    m_tree->expandAll();
    const QSignalBlocker quiet(m_hex);
    m_hex->setPlainText(hexDumpText(bytes));
}

void FieldView::clear()
{
    const QSignalBlocker quietTree(m_tree);
    const QSignalBlocker quietHex(m_hex);
    m_tree->clear();
    m_items.clear();
    m_fields.clear();
    m_size = 0;
    m_hex->clear();
    m_highlighted.clear();
    m_hex->setExtraSelections({});
}

int FieldView::currentField() const
{
    const auto at = std::find(m_items.begin(), m_items.end(), m_tree->currentItem());
    return at == m_items.end() ? -1 : int(at - m_items.begin());
}

void FieldView::setCurrentField(int field)
{
    m_tree->setCurrentItem(field >= 0 && size_t(field) < m_items.size() ? m_items[size_t(field)] : nullptr);
}

void FieldView::highlight(int field)
{
    m_highlighted = field < 0 ? QList<TextRange>()
                              : hexDumpRanges(m_size, int(m_fields[size_t(field)].begin),
                                              int(m_fields[size_t(field)].end));
    QList<QTextEdit::ExtraSelection> marks;
    const QColor background = palette().color(QPalette::Highlight);
    const QColor foreground = palette().color(QPalette::HighlightedText);
    for (const TextRange &r : m_highlighted) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(m_hex->document());
        mark.cursor.setPosition(r.start);
        mark.cursor.setPosition(r.start + r.length, QTextCursor::KeepAnchor);
        mark.format.setBackground(background);
        mark.format.setForeground(foreground);
        marks.append(mark);
    }
    m_hex->setExtraSelections(marks);
    if (!m_highlighted.isEmpty()) {
        // The field's first byte in sight, without moving the cursor's field.
        const QSignalBlocker quiet(m_hex);
        QTextCursor at(m_hex->document());
        at.setPosition(m_highlighted.first().start);
        m_hex->setTextCursor(at);
        m_hex->ensureCursorVisible();
    }
}

void FieldView::hexClicked()
{
    const QTextCursor cursor = m_hex->textCursor();
    if (cursor.hasSelection())
        return; // a selection being made for copying
    const int byte = byteAtDumpPosition(m_size, cursor.position());
    const int field = fieldAt(m_fields, byte);
    if (field >= 0 && field != currentField())
        setCurrentField(field);
}

} // namespace console
