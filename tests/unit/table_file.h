// The tables the unit tests share with the end-to-end suites and the
// fuzzers' seeds, kept as data files under tests/tables: one case a line,
// fields separated by tabs; in a field, \\ is a backslash, \t a tab and \xNN
// any byte. Lines that start with # are comments.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using TableRow = std::vector<std::string>;

inline std::string Unescaped(const std::string& field) {
    std::string bytes;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            bytes += field[i];
        } else if (field[++i] == 't') {
            bytes += '\t';
        } else if (field[i] == 'x') {
            bytes += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            bytes += field[i];
        }
    }
    return bytes;
}

inline std::vector<TableRow> ReadTable(const std::string& name) {
    std::vector<TableRow> rows;
    std::FILE* file = std::fopen((std::string(TONERIX_TABLES_DIR) + "/" + name).c_str(), "rb");
    EXPECT_NE(file, nullptr) << name;
    if (file == nullptr) return rows;
    std::string line;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        if (!line.empty() && line[0] != '#') {
            TableRow row(1);
            for (char byte : line) {
                if (byte == '\t')
                    row.emplace_back();
                else
                    row.back() += byte;
            }
            for (std::string& field : row)
                field = Unescaped(field);
            rows.push_back(row);
        }
        line.clear();
    }
    std::fclose(file);
    EXPECT_FALSE(rows.empty()) << name;
    return rows;
}
