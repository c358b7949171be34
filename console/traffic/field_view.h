#pragma once

#include "protocol/protocol.h"

#include <QByteArray>
#include <QList>
#include <QWidget>

#include <vector>

class QPlainTextEdit;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

namespace console {

// The parent of each field in a tree of a frame's fields: the nearest field
// before it one level up, -1 for a top-level field. A field deeper than one
// below the field before it hangs under that field (a description that
// skips a level loses no field).
std::vector<int> fieldParents(const std::vector<protocol::Field> &fields);

// The deepest field that holds byte `byte` of the frame (the last of equal
// depth); -1 when none does.
int fieldAt(const std::vector<protocol::Field> &fields, int byte);

// A frame's bytes as a packet analyser prints them, kHexDumpWidth a line:
//   0000  01 03 00 00 00 0A C5 CD                          ........
// the offset (4 hex digits), two blanks, each byte as two hex digits and a
// blank (one more after the eighth), then the bytes as text ('.' outside
// 0x20-0x7E). Lines end in '\n', the last one too.
constexpr int kHexDumpWidth = 16;
QString hexDumpText(QByteArrayView bytes);

// Characters [start, start + length) of the dump's text.
struct TextRange {
    int start = 0;
    int length = 0;
    bool operator==(const TextRange &) const = default;
};

// Where bytes [begin, end) of a frame of `size` bytes stand in its dump:
// per line one range in the hex digits (from the first digit of the first
// byte to the last digit of the last) and one in the text, in that order,
// lines top to bottom. Bytes beyond the frame are dropped; an empty range
// has none.
QList<TextRange> hexDumpRanges(int size, int begin, int end);

// The byte of a frame of `size` bytes whose hex digits or text character
// stand at character `position` of its dump; -1 for the offset, the blanks
// and beyond the frame.
int byteAtDumpPosition(int size, int position);

// A frame's fields as a tree, and its bytes in a hex pane below in which
// the bytes of the field chosen in the tree are highlighted; a click on a
// byte chooses the deepest field that holds it.
class FieldView : public QWidget {
    Q_OBJECT
public:
    explicit FieldView(QWidget *parent = nullptr);

    // Shows the fields of a frame and its bytes (all of them, not only what
    // a cell shows).
    void showFrame(const protocol::Description &description, const QByteArray &bytes);
    void clear();

    QTreeWidget *tree() const { return m_tree; }
    QPlainTextEdit *hexPane() const { return m_hex; }
    QSplitter *splitter() const { return m_splitter; }
    // The ranges of the dump highlighted now.
    QList<TextRange> highlighted() const { return m_highlighted; }
    // The field chosen in the tree, -1 for none.
    int currentField() const;
    void setCurrentField(int field);

private:
    void highlight(int field);
    void hexClicked();

    QSplitter *m_splitter = nullptr;
    QTreeWidget *m_tree = nullptr;
    QPlainTextEdit *m_hex = nullptr;
    std::vector<protocol::Field> m_fields;
    std::vector<QTreeWidgetItem *> m_items;
    int m_size = 0;
    QList<TextRange> m_highlighted;
};

} // namespace console
