#pragma once
// How the file list looks and reacts: the columns' first widths (the name takes
// what is left; all can be resized by the user), sorting by a click on a header
// (the order as received until then, FileListSort.h), grid lines that leave the
// selected row's highlight whole, a double click and the Delete key.
#include <functional>

class FileListModel;
class QModelIndex;
class QTreeView;

struct FileListActions {
    std::function<void()> open;   // double click on a row
    std::function<void()> remove; // the Delete key
};

void setUpFileList(QTreeView& view, FileListModel& model, FileListActions actions);
// The model's row of a view's index.
int modelRow(const QTreeView& view, const QModelIndex& index);
