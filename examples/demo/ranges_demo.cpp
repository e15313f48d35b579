#include "demo.h"

#include <korutil/buffers.h>
#include <korutil/collections.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// A small editor: the text, the set of marked lines (bookmarks), and an undo history.
struct Edit {
    bool insert;                    // else a deletion
    int line;                       // where it happened
    std::vector<std::string> lines; // what was inserted or deleted
    std::vector<Range> marks;       // marks that went with deleted lines, relative to `line`
};

struct Editor {
    std::vector<std::string> text;
    CRangeSet marks;
    CPtrList undo; // of Edit*, oldest first

    void insertLines(int at, const std::vector<std::string>& lines, bool record = true) {
        text.insert(text.begin() + at, lines.begin(), lines.end());
        marks.Slide(at, static_cast<long>(lines.size()));
        if (record) {
            undo.InsertAt(-1, new Edit{true, at, lines, {}});
        }
    }

    void deleteLines(int at, int count) {
        auto* edit = new Edit{false, at, {text.begin() + at, text.begin() + at + count}, {}};
        // Keep the marks of the deleted lines so that undoing brings them back too.
        for (int i = 0; i < marks.GetCount(); ++i) {
            const long from = std::max<long>(marks[i]->from, at);
            const long upTo = std::min<long>(marks[i]->upTo, at + count);
            if (from < upTo) {
                edit->marks.push_back({from - at, upTo - at});
            }
        }
        text.erase(text.begin() + at, text.begin() + at + count);
        marks.Slide(at, -count);
        undo.InsertAt(-1, edit);
    }

    void undoLast() {
        const int last = undo.GetCount() - 1;
        auto* edit = static_cast<Edit*>(undo.GetAt(last));
        undo.RemoveAt(last);
        if (edit->insert) {
            text.erase(text.begin() + edit->line,
                       text.begin() + edit->line + static_cast<long>(edit->lines.size()));
            marks.Slide(edit->line, -static_cast<long>(edit->lines.size()));
        } else {
            insertLines(edit->line, edit->lines, false);
            for (const Range& r : edit->marks) {
                marks.Include(r.from + edit->line, r.upTo + edit->line);
            }
        }
        delete edit;
    }

    ~Editor() {
        for (int i = 0; i < undo.GetCount(); ++i) {
            delete static_cast<Edit*>(undo.GetAt(i));
        }
    }

    std::string markList() const {
        std::string out;
        for (int i = 0; i < marks.GetCount(); ++i) {
            out += (i ? " " : "") + std::to_string(marks[i]->from) + "-" +
                   std::to_string(marks[i]->upTo - 1);
        }
        return out.empty() ? "none" : out;
    }

    std::string markedText() const {
        std::string out;
        for (int i = 0; i < marks.GetCount(); ++i) {
            for (long l = marks[i]->from; l < marks[i]->upTo; ++l) {
                out += (out.empty() ? "" : ", ") + text[static_cast<std::size_t>(l)];
            }
        }
        return out;
    }
};

int run() {
    Editor ed;
    for (int i = 0; i < 12; ++i) {
        ed.text.push_back("line " + std::string(1, static_cast<char>('A' + i)));
    }
    ed.marks.Include(2, 5);
    ed.marks.Include(8, 9);
    ed.marks.Include(9, 11);
    demo::say("a 12-line text; the user marks lines 2-4, 8 and 9-10");
    demo::say("marked line ranges: %s (8 and 9-10 became one range)", ed.markList().c_str());
    const std::string before = ed.markedText();
    demo::say("marked text: %s", before.c_str());

    ed.insertLines(3, {"new 1", "new 2", "new 3"});
    demo::say("3 lines typed in at line 3: the marks slide with their text: %s",
              ed.markList().c_str());
    demo::say("line 3 itself is new and unmarked: %s", ed.marks.Contains(3) ? "no" : "yes");

    ed.deleteLines(8, 3);
    demo::say("the unmarked lines 8-10 deleted: the blocks around them meet and join: %s",
              ed.markList().c_str());
    const bool joined =
        ed.marks.GetCount() == 2 && ed.marks[1]->from == 6 && ed.marks[1]->upTo == 11;
    ed.deleteLines(0, 1);
    demo::say("line 0 deleted: marks now %s; marked text: %s", ed.markList().c_str(),
              ed.markedText().c_str());

    demo::say("undo history, oldest first, walked by position:");
    for (int i = 0; i < ed.undo.GetCount(); ++i) {
        auto* e = static_cast<Edit*>(ed.undo.GetAt(i));
        demo::say("  %d: %s %zu line(s) at %d", i, e->insert ? "inserted" : "deleted",
                  e->lines.size(), e->line);
    }
    while (!ed.undo.IsEmpty()) {
        ed.undoLast();
        demo::say("undo: marks %s, %zu lines", ed.markList().c_str(), ed.text.size());
    }
    const std::string after = ed.markedText();
    demo::say("after undoing everything the same lines are marked: %s",
              after == before ? "yes" : "NO");
    return after == before && joined && ed.text.size() == 12 ? 0 : 1;
}

demo::Registration registration(30, "Range set and pointer list", run);

} // namespace
