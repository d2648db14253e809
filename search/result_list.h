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

    void append(AnsiString caption);
    void clear();

    void setObserver(Observer* observer) { observer_ = observer; }

private:
    std::deque<AnsiString> items_;                 // deque: element addresses stay put
    std::unordered_set<std::string_view> index_;   // views into items_
    Observer* observer_ = nullptr;
};

} // namespace vq
