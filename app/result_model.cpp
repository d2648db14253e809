#include "app/result_model.h"

#include "app/qt_text.h"

#include <limits>

namespace vq {

ResultModel::ResultModel(ResultList& list, QString title, QObject* parent)
    : QAbstractListModel(parent), list_(list), title_(std::move(title))
{
    rows_ = static_cast<int>(std::min<size_t>(list_.size(), std::numeric_limits<int>::max()));
    list_.setObserver(this);
}

ResultModel::~ResultModel()
{
    list_.setObserver(nullptr);
}

int ResultModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

QVariant ResultModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.column() != 0 || index.row() < 0 ||
        static_cast<size_t>(index.row()) >= list_.size())
        return {};
    const size_t row = static_cast<size_t>(index.row());
    if (role == Qt::DisplayRole)
        return toQString(list_.at(row));
    if (role == Qt::ToolTipRole) {
        // Where the item was found, when that is known; otherwise the item itself.
        const AnsiString& origin = list_.origin(row);
        return toQString(origin.empty() ? list_.at(row) : origin);
    }
    return {};
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return title_;
    return QAbstractListModel::headerData(section, orientation, role);
}

Qt::ItemFlags ResultModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ResultModel::appended(size_t index)
{
    // The list tells about one new item at its end; announce every row not yet
    // announced, so that the views never lag behind the list.
    const size_t size = std::min<size_t>(list_.size(), std::numeric_limits<int>::max());
    if (size <= static_cast<size_t>(rows_)) {
        (void)index;
        return;
    }
    beginInsertRows({}, rows_, static_cast<int>(size) - 1);
    rows_ = static_cast<int>(size);
    endInsertRows();
}

void ResultModel::cleared()
{
    beginResetModel();
    rows_ = static_cast<int>(std::min<size_t>(list_.size(), std::numeric_limits<int>::max()));
    endResetModel();
}

} // namespace vq
