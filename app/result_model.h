// A result list (vq::ResultList) seen by a Qt view: one column whose header is
// the list's title and whose rows are the captions. The model observes the list,
// so appending stays cheap however long the list grows; captions are converted
// from code page 936 only when a view asks for a visible row.
#pragma once

#include "search/result_list.h"

#include <QAbstractListModel>
#include <QString>

namespace vq {

class ResultModel : public QAbstractListModel, private ResultList::Observer {
    Q_OBJECT
public:
    ResultModel(ResultList& list, QString title, QObject* parent = nullptr);
    ~ResultModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const QString& title() const { return title_; }

private:
    void appended(size_t index) override;
    void cleared() override;

    ResultList& list_;
    QString title_;
    int rows_ = 0; // rows announced to the views
};

} // namespace vq
