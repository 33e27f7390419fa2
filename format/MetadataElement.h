#pragma once
// One metadata tag as the reading side sees it: a single value, an array
// (width > 1, height 1) or a table (width > 1, height > 1) of typed cells.

#include <cstdint>
#include <string>
#include <vector>

#include "format/MetadataTypes.h"

namespace Lumetra {

class MetadataElement {
public:
    enum Dimensionality { Single = 1, Array = 2, Table = 3 };

    // A cell: a type code and a number (every numeric type fits a double
    // exactly) or a text. An unset cell has type TypeNone.
    struct Cell {
        int type = TypeNone;
        double number = 0.0;
        std::string text;
    };

    // Dimensionality 1, width 0, height 0, empty name: stands for a missing tag.
    MetadataElement() = default;
    // All cells unset. A negative width or height throws GeometryException;
    // a shape that breaks the rules of its dimensionality throws
    // InvalidArgumentException with the rule's detail.
    MetadataElement(const std::string& name, int dimensionality, int32_t width, int32_t height);
    MetadataElement(const MetadataElement&) = default;
    MetadataElement& operator=(const MetadataElement&) = default;
    virtual ~MetadataElement() = default;

    const std::string& name() const { return name_; }
    int dimensionality() const { return dimensionality_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    // True when the element stands for a missing tag.
    bool isEmpty() const { return name_.empty(); }

    // Cell access; row and column outside the element throw InvalidArgumentException.
    const Cell& cell(int32_t row, int32_t column) const;
    void setNumber(int32_t row, int32_t column, int type, double value);
    void setText(int32_t row, int32_t column, const std::string& text);

    // The cell as a double; a non-numeric cell throws Exception "bad cast in metadata".
    double toDouble(int32_t row = 0, int32_t column = 0) const;
    // The cell's value when its type is one of `allowed` (a list ended by 0),
    // else Exception "bad cast in metadata".
    double valueOfType(int32_t row, int32_t column, const int* allowed) const;

private:
    Cell& at(int32_t row, int32_t column);

    std::string name_;
    int dimensionality_ = Single;
    int32_t width_ = 0;
    int32_t height_ = 0;
    std::vector<Cell> cells_;
};

}  // namespace Lumetra
