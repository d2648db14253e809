#include "search/result_list.h"

namespace vq {

void ResultList::append(AnsiString caption, AnsiString origin)
{
    items_.push_back(std::move(caption));
    index_.insert(std::string_view(items_.back()));
    if (!origin.empty() || !origins_.empty()) {
        origins_.resize(items_.size() - 1);
        origins_.push_back(std::move(origin));
    }
    ++changes_;
    if (observer_)
        observer_->appended(items_.size() - 1);
}

void ResultList::clear()
{
    index_.clear();
    items_.clear();
    origins_.clear();
    ++changes_;
    ++clears_;
    if (observer_)
        observer_->cleared();
}

const AnsiString& ResultList::origin(size_t index) const
{
    static const AnsiString unknown;
    return index < origins_.size() ? origins_[index] : unknown;
}

} // namespace vq
