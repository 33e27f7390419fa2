#include "decoder/Subband.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/Exception.h"
#include "core/WorkerPool.h"
#include "format/Wavelet.h"

namespace Lumetra {

namespace {

const char* const kBogusSupport = "Error: bogus image support specified.";

// The range of a child band that the synthesis filters read to produce
// [a, b] of the parent line.
void childRange(int a, int b, bool highPass, int full, int& lo, int& hi) {
    long long l = ceilDiv2((long long)a - (highPass ? 5 : 3));
    long long h = floorDiv2((long long)b + 3);
    if (h < l + 4) h = l + 4;
    if (l < 0) l = 0;
    if (h >= full) h = (long long)full - 1;
    lo = int(l);
    hi = int(std::min<long long>(h, INT32_MAX));
}

}  // namespace

std::unique_ptr<Subband> Subband::buildTree(int width, int height, int bands, int levels, int scale, int x0,
                                            int x1, int y0, int y1) {
    std::unique_ptr<Subband> root =
        makeNode(width, height, bands, levels, scale, x0, x1, y0, y1, scale < 0, nullptr, 0, 0);
    int next = 0;
    root->numberLeaves(next);
    return root;
}

std::unique_ptr<Subband> Subband::makeNode(int fullWidth, int fullHeight, int bands, int levels, int level,
                                           int x0, int x1, int y0, int y1, bool negativeScale,
                                           Subband* parent, int xFilter, int yFilter) {
    std::unique_ptr<Subband> node(new Subband());
    node->parent_ = parent;
    node->negativeScale_ = negativeScale;
    node->bandCount_ = bands;
    node->count_ = bands;
    if (!parent) {
        long long w = fullWidth, h = fullHeight;
        if (negativeScale && level < 0) {
            if (level < -31) throw Exception(kBogusSupport);
            w <<= -level;
            h <<= -level;
            if (w > INT32_MAX || h > INT32_MAX) throw Exception(kBogusSupport);
        }
        for (int i = 0; i < level && i < 64; ++i) {
            w = (w + 1) / 2;
            h = (h + 1) / 2;
        }
        node->fullWidth_ = int(w);
        node->fullHeight_ = int(h);
        if (level >= 0) {
            float weight = 1.0f;
            for (int i = 0; i < level && i < 1024; ++i) weight *= 1.3215904f;
            node->weight_ = weight;
        } else {
            node->weight_ = float(std::pow(1.321590367859372, double(level)));
        }
    } else {
        node->fullWidth_ = fullWidth;
        node->fullHeight_ = fullHeight;
        const float fx = xFilter ? 0.8698644f : 1.1496044f;
        const float fy = yFilter ? 0.8698644f : 1.1496044f;
        node->weight_ = fx * fy * parent->weight_;
    }

    if (x0 < 0 || y0 < 0 || x1 >= node->fullWidth_ || y1 >= node->fullHeight_) throw Exception(kBogusSupport);
    if (negativeScale) {
        if (levels < level)
            throw Exception(
                "Error: incompatible scale parameter input for image synthesis.\n scale is greater than the "
                "nlev\n");
    } else if (level < 0 || levels < level) {
        throw Exception(
            "Error: incompatible scale parameter input for image synthesis.\n scale is less than 0 or "
            "greater than "
            "nlev\n");
    }
    if (x1 < x0 || y1 < y0) throw Exception(kBogusSupport);

    node->support_ = SubbandSupport{x0, x1, y0, y1, true};
    node->width_ = x1 - x0 + 1;
    node->height_ = y1 - y0 + 1;
    node->rowStep_ = node->width_;

    if (level == levels) return node;
    for (int j = 0; j < 2; ++j) {
        for (int k = 0; k < 2; ++k) {
            // Halved in 64 bits: a full size may be the largest int.
            const int cw = int(k ? node->fullWidth_ / 2 : (int64_t(node->fullWidth_) + 1) / 2);
            const int ch = int(j ? node->fullHeight_ / 2 : (int64_t(node->fullHeight_) + 1) / 2);
            int cx0, cx1, cy0, cy1;
            childRange(x0, x1, k == 1, cw, cx0, cx1);
            childRange(y0, y1, j == 1, ch, cy0, cy1);
            const int childLevel = (j == 0 && k == 0) ? level + 1 : levels;
            node->children_[k][j] = makeNode(cw, ch, bands, levels, childLevel, cx0, cx1, cy0, cy1,
                                             negativeScale, node.get(), k, j);
        }
    }
    return node;
}

void Subband::numberLeaves(int& next) {
    if (isLeaf()) {
        leafIndex_ = next++;
        return;
    }
    children_[0][0]->numberLeaves(next);
    children_[1][0]->numberLeaves(next);
    children_[0][1]->numberLeaves(next);
    children_[1][1]->numberLeaves(next);
}

void Subband::forEachLeaf(const std::function<void(Subband&)>& visit) {
    if (isLeaf()) {
        visit(*this);
        return;
    }
    children_[0][0]->forEachLeaf(visit);
    children_[1][0]->forEachLeaf(visit);
    children_[0][1]->forEachLeaf(visit);
    children_[1][1]->forEachLeaf(visit);
}

Subband* Subband::deepestLowPass() {
    Subband* node = this;
    while (!node->isLeaf()) node = node->children_[0][0].get();
    return node;
}

void Subband::allocateSupport(bool zeroed) {
    if (!support_.present) {
        releasePlanes();
        return;
    }
    allocate(support_.width(), support_.height(), bandCount_, zeroed);
}

std::unique_ptr<Subband> Subband::shapeLike(const Subband* a, Subband* parent) {
    std::unique_ptr<Subband> node(new Subband());
    node->parent_ = parent;
    node->negativeScale_ = a->negativeScale_;
    node->bandCount_ = a->bandCount_;
    node->count_ = a->bandCount_;
    node->leafIndex_ = a->leafIndex_;
    node->fullWidth_ = a->fullWidth_;
    node->fullHeight_ = a->fullHeight_;
    node->weight_ = a->weight_;
    node->organisation_ = 1;
    return node;
}

std::unique_ptr<Subband> Subband::intersect(const Subband* a, const Subband* b, Subband* parent,
                                            std::vector<LeafCopy>& copies) {
    if (!a || !b) return nullptr;
    if (a->bandCount_ != b->bandCount_) throw Exception("Error 1 in Subband::intersect()");
    if (a->isLeaf() != b->isLeaf()) throw Exception("Error 2 in Subband::intersect()");

    std::unique_ptr<Subband> node = shapeLike(a, parent);
    const SubbandSupport& sa = a->support_;
    const SubbandSupport& sb = b->support_;
    if (sa.present && sb.present) {
        SubbandSupport s{std::max(sa.x0, sb.x0), std::min(sa.x1, sb.x1), std::max(sa.y0, sb.y0),
                         std::min(sa.y1, sb.y1), true};
        if (s.x0 <= s.x1 && s.y0 <= s.y1) node->support_ = s;
    }
    if (!node->support_.present && a->isLeaf() && parent) throw Exception("Error 3 in Subband::intersect()");
    if (node->support_.present) {
        node->width_ = node->support_.width();
        node->height_ = node->support_.height();
        node->rowStep_ = node->width_;
    }

    if (!a->isLeaf()) {
        for (int k = 0; k < 2; ++k)
            for (int j = 0; j < 2; ++j)
                node->children_[k][j] =
                    intersect(a->children_[k][j].get(), b->children_[k][j].get(), node.get(), copies);
    } else if (node->support_.present) {
        // Every sample is copied from a, or the planes are zeroed.
        node->allocateSupport(!a->hasPlanes());
        if (a->hasPlanes()) copies.push_back(LeafCopy{node.get(), a, false});
    }
    if (!parent && !node->deepestLowPass()->support_.present) return nullptr;
    return node;
}

std::unique_ptr<Subband> Subband::intersect(const Subband* a, const Subband* b, WorkerPool* pool) {
    std::vector<LeafCopy> copies;
    std::unique_ptr<Subband> node = intersect(a, b, nullptr, copies);
    if (!node) return node;
    const int bands = node->bandCount_;
    runJobs(pool, int(copies.size()) * bands, [&](int job) {
        const LeafCopy& c = copies[std::size_t(job / bands)];
        const int band = job % bands;
        const SubbandSupport& s = c.to->support_;
        const SubbandSupport& sa = c.from->support_;
        for (int y = s.y0; y <= s.y1; ++y) {
            const float* from = c.from->bands_[band] + std::ptrdiff_t(y - sa.y0) * c.from->rowStep_ + (s.x0 - sa.x0);
            float* to = c.to->bands_[band] + std::ptrdiff_t(y - s.y0) * c.to->rowStep_;
            std::memcpy(to, from, sizeof(float) * std::size_t(s.width()));
        }
    });
    return node;
}

std::unique_ptr<Subband> Subband::difference(const Subband* a, const Subband* b, Subband* parent) {
    if (!a || !b) throw Exception("Error 1 in Subband::difference()");
    const SubbandSupport& sa = a->support_;
    const SubbandSupport& sb = b->support_;
    if (sb.present && (!sa.present || sb.x0 != sa.x0 || sb.x1 != sa.x1 || sb.y0 != sa.y0 || sb.y1 > sa.y1))
        throw Exception("Error 3 in Subband::difference()");
    if (a->bandCount_ != b->bandCount_) throw Exception("Error 4 in Subband::difference()");
    if (a->isLeaf() != b->isLeaf()) throw Exception("Error 5 in Subband::difference()");

    std::unique_ptr<Subband> node = shapeLike(a, parent);
    if (sb.present && sb.y1 != sa.y1) {
        node->support_ = SubbandSupport{sa.x0, sa.x1, sb.y1 + 1, sa.y1, true};
        node->width_ = node->support_.width();
        node->height_ = node->support_.height();
        node->rowStep_ = node->width_;
    }
    if (!a->isLeaf()) {
        for (int k = 0; k < 2; ++k)
            for (int j = 0; j < 2; ++j)
                node->children_[k][j] =
                    difference(a->children_[k][j].get(), b->children_[k][j].get(), node.get());
    }
    return node;
}

void Subband::copy(const Subband* other, WorkerPool* pool) {
    std::vector<LeafCopy> copies;
    gatherCopies(other, copies);
    int bands = 0;
    for (const LeafCopy& c : copies) bands = std::max(bands, c.to->bandCount_);
    runJobs(pool, int(copies.size()) * bands, [&](int job) {
        const LeafCopy& c = copies[std::size_t(job / std::max(bands, 1))];
        const int band = job % std::max(bands, 1);
        if (band < c.to->bandCount_) c.to->copyBand(*c.from, band, c.fresh);
    });
}

void Subband::viewRowsOf(Subband& owner) {
    if (isLeaf() != owner.isLeaf()) throw Exception("Error 1 in Subband::viewRowsOf()");
    if (!isLeaf()) {
        for (int k = 0; k < 2; ++k)
            for (int j = 0; j < 2; ++j) children_[k][j]->viewRowsOf(*owner.children_[k][j]);
        return;
    }
    const SubbandSupport& s = support_;
    const SubbandSupport& so = owner.support_;
    if (!s.present) return;
    if (!so.present || s.x0 != so.x0 || s.x1 != so.x1 || s.y0 < so.y0 || s.y1 > so.y1)
        throw Exception("Error 2 in Subband::viewRowsOf()");
    if (!owner.hasPlanes()) owner.allocateSupport(true);
    rowStep_ = owner.rowStep_;
    columnStep_ = owner.columnStep_;
    bands_.assign(std::size_t(bandCount_), nullptr);
    owners_.assign(std::size_t(bandCount_), nullptr);
    for (int b = 0; b < bandCount_; ++b)
        bands_[b] = owner.bands_[b] + std::ptrdiff_t(s.y0 - so.y0) * rowStep_;
}

void Subband::gatherCopies(const Subband* other, std::vector<LeafCopy>& copies) {
    if (!other) return;
    if (isLeaf() != other->isLeaf()) throw Exception("Error 1 in Subband::copy()");
    if (!isLeaf()) {
        for (int k = 0; k < 2; ++k)
            for (int j = 0; j < 2; ++j) children_[k][j]->gatherCopies(other->children_[k][j].get(), copies);
        return;
    }
    const SubbandSupport& so = other->support_;
    if (!so.present) return;
    const SubbandSupport& s = support_;
    const bool fits = s.present && so.x0 == s.x0 && so.x1 == s.x1 && so.y0 >= s.y0 && so.y1 <= s.y1;
    if (!fits) {
        const bool allZero = so.x0 == 0 && so.x1 == 0 && so.y0 == 0 && so.y1 == 0;
        if (allZero) return;  // exempt from the check, but never copied outside this node
        throw Exception("Error 2 in Subband::copy()");
    }
    if (!other->hasPlanes() || other->bandCount_ != bandCount_) return;
    const bool fresh = !hasPlanes();
    if (fresh) allocateSupport(false);  // copyBand zeroes what it does not copy
    copies.push_back(LeafCopy{this, other, fresh});
}

void Subband::copyBand(const Subband& other, int band, bool fresh) {
    const SubbandSupport& so = other.support_;
    const SubbandSupport& s = support_;
    const std::size_t rowBytes = sizeof(float) * std::size_t(s.width());
    float* plane = bands_[band];
    if (fresh) {
        std::memset(plane, 0, rowBytes * std::size_t(so.y0 - s.y0));
        std::memset(plane + std::ptrdiff_t(so.y1 + 1 - s.y0) * rowStep_, 0, rowBytes * std::size_t(s.y1 - so.y1));
    }
    for (int y = so.y0; y <= so.y1; ++y) {
        std::memcpy(plane + std::ptrdiff_t(y - s.y0) * rowStep_,
                    other.bands_[band] + std::ptrdiff_t(y - so.y0) * other.rowStep_, rowBytes);
    }
}

}  // namespace Lumetra
