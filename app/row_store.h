// The rows of the table view, kept compactly for a list that draws only the rows on screen: each row's cells as
// UTF-8 with a length before each, packed into large blocks that are handed back to the system when the store
// is emptied; and the typed sort of the shown order, done on an index of the rows rather than on the rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/list_sort.h"

namespace app {

class RowStore {
public:
    RowStore() = default;
    ~RowStore();
    RowStore(const RowStore&) = delete;
    RowStore& operator=(const RowStore&) = delete;

    // Adds a row at the end; its cells as the list shows them, first column first.
    void Append(const std::vector<std::u16string>& cells);
    std::size_t size() const { return rows_; }
    bool empty() const { return rows_ == 0; }
    std::size_t CellCount(std::size_t row) const;
    // A cell's text in UTF-8 (a lone surrogate becomes U+FFFD); empty for a column the row does not have. The
    // view stays valid until the store is emptied.
    std::string_view Cell(std::size_t row, std::size_t column) const;
    std::u16string CellText(std::size_t row, std::size_t column) const;
    // Every row's cell of the column in store order, read through the blocks one after the other (much
    // faster than a Cell call per row when all rows are wanted).
    void ForEachCell(std::size_t column, const std::function<void(std::size_t row, std::string_view cell)>& visit) const;
    // The same over the rows of blocks [first_block, end_block) only: parts of the store can be read by
    // several threads at once.
    void ForEachCell(std::size_t column, const std::function<void(std::size_t row, std::string_view cell)>& visit,
                     std::size_t first_block, std::size_t end_block) const;
    std::size_t BlockCount() const { return blocks_.size(); }
    // Forgets every row and gives their memory back to the system.
    void Clear();
    // Bytes the store holds from the system (blocks and their row index).
    std::size_t BytesHeld() const;

private:
    struct Block {
        char* data = nullptr;
        std::size_t size = 0;       // bytes mapped
        std::size_t used = 0;       // cell bytes, from the start
        std::size_t first_row = 0;  // store row of the block's first row
        std::uint32_t rows = 0;     // rows in the block; their start offsets are kept at the block's end
    };
    const char* RowStart(std::size_t row) const;
    Block& RoomFor(std::size_t bytes);

    std::vector<Block> blocks_;
    std::size_t rows_ = 0;
    std::string scratch_;  // the row being packed
};

// The shown order after a sort by `column`: positions to store rows, the same order a stable sort of the shown
// rows with CompareForSort gives. Numbers, decimals and date-times are sorted on 64-bit keys by radix, so
// millions of rows take a fraction of a second. `shown` is the order before the sort (empty: store order). A column that is not
// sortable, or of type none, keeps the order.
std::vector<std::uint32_t> SortRowOrder(const RowStore& store, const std::vector<std::uint32_t>& shown, int column,
                                        const ColumnSortInfo& info);

}  // namespace app
