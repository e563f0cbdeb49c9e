// BrowseModel: the rows of a browse as a Qt table model that grows page by page.
//
// The model holds only the rows fetched so far. When the view wants more (the user scrolls to
// the end), fetchMore asks the dialog's thread for the next page through `request`; the page
// arrives later with addPage. One request is pending at a time; the model knows the source's end
// once a page says so.
//
// Thread safety: GUI thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QAbstractTableModel>

#include "gui/dialog_desc.h"

namespace gui::qt {

class BrowseModel : public QAbstractTableModel {
 public:
  BrowseModel(std::vector<BrowseColumnDesc> columns, std::function<void(long first)> request,
              QObject* parent);

  int rowCount(const QModelIndex& parent) const override;
  int columnCount(const QModelIndex& parent) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  void addPage(const BrowsePage& page);
  // Forgets every row and asks for the first page again.
  void restart();
  bool atEnd() const { return atEnd_; }

 private:
  std::vector<BrowseColumnDesc> columns_;
  std::function<void(long)> request_;
  std::vector<std::vector<QString>> cells_;
  std::vector<std::vector<QString>> tips_;
  bool atEnd_ = false;
  bool pending_ = false;
};

}  // namespace gui::qt
