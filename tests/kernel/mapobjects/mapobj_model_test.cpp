// Model test: random edits of regions, polylines and multipoints, with and
// without Z and M, against plain vectors of rings. After each step the
// node-data size is 28 x sections + 8 x nodes, rings are closed, Z and M
// follow their nodes and polygon groups stay inside the section count.
#include <random>

#include "kernel/mapobjects/mapobj_fixture.h"

namespace {

using mapobj_edits = MapObjTest;

struct Node {
  IntPoint p;
  double z;
};
using ModelRing = std::vector<Node>;

class Model {
 public:
  Model(MapObject* obj, bool zm) : obj_(obj), zm_(zm), region_(obj->type == MAPOBJ_REGION) {}

  void Step(std::mt19937& rng) {
    int32_t S = static_cast<int32_t>(rings_.size());
    int op = static_cast<int>(rng() % 10);
    if (S == 0 || op == 0) return AddSection();
    int32_t s = static_cast<int32_t>(rng() % static_cast<uint32_t>(S));
    int32_t c = Stored(s);
    if (op <= 5) {
      int32_t count = 1 + static_cast<int32_t>(rng() % 4);
      int32_t index = static_cast<int32_t>(rng() % static_cast<uint32_t>(c + 1));
      return Insert(s, index, count);
    }
    if (op <= 8 && c > 0) {
      int32_t index = static_cast<int32_t>(rng() % static_cast<uint32_t>(c));
      int32_t room = region_ ? c : c - index;
      int32_t count = 1 + static_cast<int32_t>(rng() % static_cast<uint32_t>(room));
      return Delete(s, index, count, rng() % 2 == 0);
    }
    if (op == 9) return DeleteSection(s);
  }

  void Check() const {
    ASSERT_EQ(obj_->u.poly.sections, static_cast<int32_t>(rings_.size()));
    int64_t nodes = 0;
    MapSection* h = mapobj_lock_sections(obj_, 0);
    for (size_t s = 0; s < rings_.size(); ++s) {
      const ModelRing& r = rings_[s];
      int32_t c = Stored(static_cast<int32_t>(s));
      ASSERT_EQ(h[s].node_count, c) << s;
      nodes += c;
      const IntPoint* p = mapobj_section_nodes(h, static_cast<int32_t>(s));
      int64_t zi = (h[s].node_offset - 28LL * obj_->u.poly.sections) / 8;
      for (int32_t i = 0; i < c; ++i) {
        const Node& want = r[static_cast<size_t>(region_ && i == c - 1 ? 0 : i)];
        ASSERT_EQ(p[i], want.p) << s << "/" << i;
        if (zm_) {
          ASSERT_EQ(obj_->z[zi + i], want.z) << s << "/" << i;
          ASSERT_EQ(obj_->m[zi + i], -want.z) << s << "/" << i;
        }
      }
      ASSERT_GE(h[s].holes, 0);
      ASSERT_LT(static_cast<int64_t>(s) + h[s].holes, static_cast<int64_t>(rings_.size()) + (h[s].holes ? 0 : 1));
      ASSERT_EQ(h[s].holes, holes_[s]);
    }
    ASSERT_EQ(obj_->u.poly.size, 28LL * obj_->u.poly.sections + 8 * nodes);
  }

 private:
  int32_t Stored(int32_t s) const {
    int32_t n = static_cast<int32_t>(rings_[static_cast<size_t>(s)].size());
    return region_ && n > 0 ? n + 1 : n;
  }
  void AddSection() {
    bool group = region_ && !rings_.empty() && rings_.size() % 3 == 0;
    ASSERT_EQ(mapobjx_add_section(obj_, 0, nullptr), 1);
    rings_.emplace_back();
    holes_.push_back(0);
    if (group) {
      // Make the previous ring's polygon take this one as a hole.
      size_t head = rings_.size() - 2;
      MapSection* h = mapobj_lock_sections(obj_, 0);
      if (holes_[head] == 0) h[head].holes = holes_[head] = 1;
    }
  }
  void Insert(int32_t s, int32_t index, int32_t count) {
    std::vector<IntPoint> pts;
    std::vector<double> z, m;
    for (int32_t k = 0; k < count; ++k) {
      ++serial_;
      pts.push_back({static_cast<int32_t>(serial_ * 7 % 1000), static_cast<int32_t>(serial_ * 13 % 1000)});
      z.push_back(serial_);
      m.push_back(-serial_);
    }
    ASSERT_EQ(mapobjx_insert_nodes(obj_, s, index, pts.data(), count, z.data(), m.data()), 1);
    ModelRing& r = rings_[static_cast<size_t>(s)];
    size_t pos = std::min(static_cast<size_t>(index), r.size());
    for (int32_t k = 0; k < count; ++k) r.insert(r.begin() + static_cast<long>(pos) + k, Node{pts[k], z[k]});
  }
  void Delete(int32_t s, int32_t index, int32_t count, bool drop_small) {
    ModelRing& r = rings_[static_cast<size_t>(s)];
    size_t n = r.size();
    std::vector<char> gone(n, 0);
    for (int32_t k = 0; k < count; ++k) gone[region_ ? static_cast<size_t>(index + k) % n : static_cast<size_t>(index + k)] = 1;
    ModelRing kept;
    for (size_t i = 0; i < n; ++i)
      if (!gone[i]) kept.push_back(r[i]);
    MapSection* h = mapobj_lock_sections(obj_, 0);
    ASSERT_EQ(mapobjx_delete_nodes(obj_, &h, s, index, count, drop_small ? 1 : 0), 1);
    if (drop_small && kept.size() < (region_ ? 3u : 2u)) return DropModelSection(s);
    r = kept;
  }
  void DeleteSection(int32_t s) {
    ASSERT_EQ(mapobjx_delete_section(obj_, s), 1);
    DropModelSection(s);
  }
  void DropModelSection(int32_t s) {
    for (int32_t i = 0; i < s; ++i)
      if (holes_[static_cast<size_t>(i)] > 0 && i + holes_[static_cast<size_t>(i)] >= s) --holes_[static_cast<size_t>(i)];
    rings_.erase(rings_.begin() + s);
    holes_.erase(holes_.begin() + s);
  }

  MapObject* obj_;
  bool zm_;
  bool region_;
  std::vector<ModelRing> rings_;
  std::vector<int32_t> holes_;
  int64_t serial_ = 0;
};

TEST_F(mapobj_edits, RandomEditsKeepTheLayout) {
  for (int type : {MAPOBJ_REGION, MAPOBJ_POLYLINE}) {
    for (bool zm : {false, true}) {
      for (uint32_t seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed * 7919 + static_cast<uint32_t>(type) * 31 + (zm ? 1 : 0));
        ObjPtr obj = New(type);
        if (zm) {
          ASSERT_EQ(mapobjx_set_zm(obj.get(), 1, 1), 1);
        }
        Model model(obj.get(), zm);
        for (int step = 0; step < 300; ++step) {
          model.Step(rng);
          ASSERT_NO_FATAL_FAILURE(model.Check()) << "type " << type << " seed " << seed << " step " << step;
        }
      }
    }
  }
}

TEST_F(mapobj_edits, RandomMultipointEditsKeepTheirValues) {
  for (bool zm : {false, true}) {
    std::mt19937 rng(zm ? 5 : 9);
    ObjPtr mp = New(MAPOBJ_MULTIPOINT);
    if (zm) {
      ASSERT_EQ(mapobjx_set_zm(mp.get(), 1, 1), 1);
    }
    std::vector<Node> model;
    for (int step = 0; step < 400; ++step) {
      int32_t n = static_cast<int32_t>(model.size());
      if (n == 0 || rng() % 3) {
        IntPoint p = {static_cast<int32_t>(step), -static_cast<int32_t>(step)};
        double z = step, m = -step;
        ASSERT_EQ(mapobjx_multipoint_add_nodes(mp.get(), 1, &p, &z, &m), 1);
        model.push_back({p, z});
      } else {
        int32_t index = static_cast<int32_t>(rng() % static_cast<uint32_t>(n));
        int32_t count = 1 + static_cast<int32_t>(rng() % static_cast<uint32_t>(n - index));
        ASSERT_EQ(mapobjx_multipoint_delete_nodes(mp.get(), index, count), 1);
        model.erase(model.begin() + index, model.begin() + index + count);
      }
      ASSERT_EQ(mp->u.multipoint.count, static_cast<int32_t>(model.size()));
      const IntPoint* nodes = static_cast<const IntPoint*>(mp->nodes);
      for (size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(nodes[i], model[i].p);
        if (zm) {
          ASSERT_EQ(mp->m[i], -model[i].z);
        }
      }
    }
  }
}

}  // namespace
