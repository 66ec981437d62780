#pragma once

#include <QTest>

// One row of a _data() table on one line: its name, then a value for each column.
template <typename... Values>
void row(const char *name, const Values &...values)
{
    (QTest::newRow(name) << ... << values);
}
