#include "search/result_list.h"

namespace vq {

void ResultList::append(AnsiString caption)
{
    items_.push_back(std::move(caption));
    index_.insert(std::string_view(items_.back()));
    if (observer_)
        observer_->appended(items_.size() - 1);
}

void ResultList::clear()
{
    index_.clear();
    items_.clear();
    if (observer_)
        observer_->cleared();
}

} // namespace vq
