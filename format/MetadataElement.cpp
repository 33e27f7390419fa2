#include "format/MetadataElement.h"

#include "core/Exception.h"
#include "core/Geometry.h"

namespace Lumetra {

MetadataElement::MetadataElement(const std::string& name, int dimensionality, int32_t width, int32_t height)
    : name_(name), dimensionality_(dimensionality) {
    const Dimension size(width, height);  // throws on negative extents
    switch (dimensionality) {
        case Single:
            if (width != 1 || height != 1)
                throw InvalidArgumentException("Single value MetadataElement must have width, height == 1");
            break;
        case Array:
            if (width <= 1 || height != 1)
                throw InvalidArgumentException("Array MetadataElement must have width > 1, height==1");
            break;
        case Table:
            if (width <= 1 || height <= 1)
                throw InvalidArgumentException("Table MetadataElement must have width > 1, height > 1 ");
            break;
        default:
            throw InvalidArgumentException("Illegal dimensionality specified for MetadataElement");
    }
    width_ = size.width();
    height_ = size.height();
    cells_.resize(size_t(width_) * size_t(height_));
}

const MetadataElement::Cell& MetadataElement::cell(int32_t row, int32_t column) const {
    if (row < 0 || column < 0 || row >= height_ || column >= width_)
        throw InvalidArgumentException("MetadataElement cell outside the element");
    return cells_[size_t(row) * size_t(width_) + size_t(column)];
}

MetadataElement::Cell& MetadataElement::at(int32_t row, int32_t column) {
    return const_cast<Cell&>(static_cast<const MetadataElement*>(this)->cell(row, column));
}

void MetadataElement::setNumber(int32_t row, int32_t column, int type, double value) {
    Cell& c = at(row, column);
    c.type = type;
    c.number = value;
    c.text.clear();
}

void MetadataElement::setText(int32_t row, int32_t column, const std::string& text) {
    Cell& c = at(row, column);
    c.type = TypeText;
    c.number = 0.0;
    c.text = text;
}

double MetadataElement::toDouble(int32_t row, int32_t column) const {
    if (row < 0 || column < 0 || row >= height_ || column >= width_) throw Exception("bad cast in metadata");
    const Cell& c = cells_[size_t(row) * size_t(width_) + size_t(column)];
    if (!isNumericMetadataType(c.type)) throw Exception("bad cast in metadata");
    return c.number;
}

double MetadataElement::valueOfType(int32_t row, int32_t column, const int* allowed) const {
    if (row < 0 || column < 0 || row >= height_ || column >= width_) throw Exception("bad cast in metadata");
    const Cell& c = cells_[size_t(row) * size_t(width_) + size_t(column)];
    for (const int* t = allowed; t && *t; ++t)
        if (c.type == *t) return c.number;
    throw Exception("bad cast in metadata");
}

}  // namespace Lumetra
