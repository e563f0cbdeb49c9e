#include "browse_model.h"

#include "qt_convert.h"

namespace gui::qt {

BrowseModel::BrowseModel(std::vector<BrowseColumnDesc> columns, std::function<void(long)> request,
                         QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)), request_(std::move(request)) {}

int BrowseModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(cells_.size());
}

int BrowseModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant BrowseModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(cells_.size())) return {};
  const auto r = static_cast<size_t>(index.row());
  const auto c = static_cast<size_t>(index.column());
  if (role == Qt::DisplayRole && c < cells_[r].size()) return cells_[r][c];
  if (role == Qt::ToolTipRole && c < tips_[r].size() && !tips_[r][c].isEmpty()) {
    return tips_[r][c];
  }
  return {};
}

QVariant BrowseModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= static_cast<int>(columns_.size())) {
    return {};
  }
  return qs(columns_[static_cast<size_t>(section)].header);
}

bool BrowseModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && !atEnd_ && !pending_;
}

void BrowseModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent)) return;
  pending_ = true;
  request_(static_cast<long>(cells_.size()));
}

void BrowseModel::addPage(const BrowsePage& page) {
  pending_ = false;
  // A page for rows the model does not stand at (one asked for before a restart) is stale.
  if (page.first != static_cast<long>(cells_.size())) return;
  atEnd_ = page.atEnd;
  if (page.cells.empty()) return;
  const int first = static_cast<int>(cells_.size());
  beginInsertRows({}, first, first + static_cast<int>(page.cells.size()) - 1);
  for (size_t r = 0; r < page.cells.size(); ++r) {
    std::vector<QString> row;
    std::vector<QString> tips;
    for (const std::string& cell : page.cells[r]) row.push_back(qs(cell));
    if (r < page.toolTips.size()) {
      for (const std::string& tip : page.toolTips[r]) tips.push_back(qs(tip));
    }
    cells_.push_back(std::move(row));
    tips_.push_back(std::move(tips));
  }
  endInsertRows();
}

void BrowseModel::restart() {
  beginResetModel();
  cells_.clear();
  tips_.clear();
  atEnd_ = false;
  pending_ = false;
  endResetModel();
  fetchMore({});
}

}  // namespace gui::qt
