#pragma once

class QTreeView;

namespace quillory {

// Keeps a list's columns within its width, so that it never scrolls sideways: while everything
// fits, each column is as wide as what it shows; otherwise the columns that need less than an
// equal share keep their width and the others share the rest, their texts wrapped whole onto
// more lines. The columns follow the list's width and its contents as they change.
void shareColumnWidths(QTreeView &view);

} // namespace quillory
