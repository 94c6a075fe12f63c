#pragma once

#include <QtTest>

#include <cstddef>
#include <tuple>
#include <utility>

namespace nms::test {

// The columns of a data-driven test, declared once for both of its halves:
// add() in the _data function, fetch() in the test, which returns the current
// row as a tuple for a structured binding that names the columns.
template <typename... Types> class TableColumns {
public:
    static void add() { addAll(std::index_sequence_for<Types...>()); }
    static std::tuple<Types...> fetch() { return fetchAll(std::index_sequence_for<Types...>()); }

private:
    // Qt Test keeps the pointer to a column's name, so the names are static.
    static constexpr const char* kNames[] = {"c0", "c1", "c2", "c3", "c4", "c5", "c6", "c7"};
    static_assert(sizeof...(Types) <= std::size(kNames));

    template <std::size_t... Index> static void addAll(std::index_sequence<Index...>)
    {
        (QTest::addColumn<Types>(kNames[Index]), ...);
    }
    template <std::size_t... Index>
    static std::tuple<Types...> fetchAll(std::index_sequence<Index...>)
    {
        return {*static_cast<Types*>(QTest::qData(kNames[Index], qMetaTypeId<Types>()))...};
    }
};

} // namespace nms::test
