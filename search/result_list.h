// A result list (the link list "网址链接表" or the fax list "传真号码表"): the
// captions in list order, with a hash index beside them so that the duplicate
// test costs the same whatever the list's length. The window shows the list
// through an observer; the list itself is the one owner of the results.
#pragma once

#include "text/ansi.h"

#include <cstddef>
#include <deque>
#include <string_view>
#include <unordered_set>

namespace vq {

class ResultList {
public:
    class Observer {
    public:
        virtual ~Observer() = default;
        virtual void appended(size_t index) = 0; // item `index` was added at the end
        virtual void cleared() = 0;
    };

    ResultList() = default;
    // The index points into items_: a copy would point into the original.
    ResultList(const ResultList&) = delete;
    ResultList& operator=(const ResultList&) = delete;

    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const AnsiString& at(size_t index) const { return items_.at(index); }
    const std::deque<AnsiString>& items() const { return items_; }

    // Whether an item with exactly these bytes is in the list.
    bool contains(std::string_view caption) const { return index_.count(caption) != 0; }

    // `origin`: where the item was found (a page address), empty when unknown.
    // It is shown beside the item and never written with it.
    void append(AnsiString caption, AnsiString origin = {});
    void clear();
    const AnsiString& origin(size_t index) const;

    // Whether items were added since the list was last written to a file.
    bool hasUnsaved() const { return !items_.empty() && changes_ != savedChanges_; }
    void markSaved() { savedChanges_ = changes_; }
    // How often the list was emptied: items before a clear are gone from it.
    unsigned long long clears() const { return clears_; }

    void setObserver(Observer* observer) { observer_ = observer; }

private:
    std::deque<AnsiString> items_;                 // deque: element addresses stay put
    std::unordered_set<std::string_view> index_;   // views into items_
    std::deque<AnsiString> origins_;               // by item; shorter while all are unknown
    unsigned long long changes_ = 0;               // appends and clears so far
    unsigned long long savedChanges_ = 0;          // changes_ at the last markSaved()
    unsigned long long clears_ = 0;
    Observer* observer_ = nullptr;
};

} // namespace vq
