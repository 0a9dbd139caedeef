// Minimum-degree ordering.
//
// The elimination graph is kept implicitly as a quotient graph: uneliminated
// vertices and elements (eliminated vertices standing for the clique they
// created).  Every vertex and element v owns a singly linked list of pool
// cells whose head is cell v: for a vertex, its adjacent vertices and
// elements; for an element, its boundary vertices.  Vertices wait in
// doubly linked buckets by degree (the vertex itself counted, so a vertex
// with j neighbours sits in bucket j+1); back/fwd are the bucket links.
//
// Tags instead of clearing: each elimination step reserves the range
// (mark(ek) - back(ek), mark(ek)] of fresh tag values.  A vertex counts as
// tagged when its mark reaches the current tag; an element keeps its
// creation tag, reaches a later tag when it is absorbed, and holds a negative
// overlap count while it is the only other element of a prototype vertex.
#include "yale/ordering.hpp"

namespace yale {

namespace {

// Push v at the front of bucket d.
inline void bucket_push(int32_t v, int32_t d, IVec deg_head, IVec back, IVec fwd) {
  const int32_t head = deg_head(d);
  fwd(v) = head;
  deg_head(d) = v;
  back(v) = -d;
  if (head > 0) back(head) = v;
}

}  // namespace

void mdi(int32_t n, CIVec ia, CIVec ja, int32_t nc, IVec cell_item, IVec cell_link, IVec deg_head, IVec back,
         IVec fwd, IVec mark, int32_t& tag, int32_t& flag) {
  for (int32_t v = 1; v <= n; ++v) {
    mark(v) = 1;
    cell_link(v) = 0;
    deg_head(v) = 0;
  }
  int32_t sfs = n + 1;  // first free cell
  for (int32_t vi = 1; vi <= n; ++vi) {
    for (int32_t p = ia(vi); p < ia(vi + 1); ++p) {
      const int32_t vj = ja(p);
      if (vj <= vi) continue;
      if (sfs >= nc) {
        flag = 9 * n + vi;
        return;
      }
      // vj at the front of vi's list, vi at the front of vj's.
      cell_item(sfs) = vj;
      cell_link(sfs) = cell_link(vi);
      cell_link(vi) = sfs;
      cell_item(sfs + 1) = vi;
      cell_link(sfs + 1) = cell_link(vj);
      cell_link(vj) = sfs + 1;
      mark(vi) += 1;
      mark(vj) += 1;
      sfs += 2;
    }
  }
  for (int32_t v = 1; v <= n; ++v) {
    bucket_push(v, mark(v), deg_head, back, fwd);
    mark(v) = tag;
  }
}

void mdm(int32_t vk, int32_t& tail, IVec cell_item, IVec cell_link, IVec back, IVec fwd, IVec mark) {
  const int32_t t = mark(vk);
  tail = vk;
  int32_t s = cell_link(vk);
  while (s != 0) {
    const int32_t next = cell_link(s);
    const int32_t vs = cell_item(s);
    if (fwd(vs) >= 0) {
      // An uneliminated neighbour: its cell joins the boundary list.
      mark(vs) = t;
      cell_link(tail) = s;
      tail = s;
    } else {
      // An element: its boundary vertices join (once each), and it is absorbed.
      const int32_t es = vs;
      int32_t ls = cell_link(es);
      for (int32_t j = 1; j <= back(es); ++j) {
        const int32_t lnext = cell_link(ls);
        const int32_t vb = cell_item(ls);
        if (mark(vb) < t) {
          mark(vb) = t;
          cell_link(tail) = ls;
          tail = ls;
        }
        ls = lnext;
      }
      mark(es) = t;
    }
    s = next;
  }
  cell_link(tail) = 0;
}

void mdp(int32_t& k, int32_t ek, int32_t& tail, IVec cell_item, IVec cell_link, IVec deg_head, IVec back, IVec fwd,
         IVec mark) {
  const int32_t t = mark(ek);
  const int32_t c = back(ek);
  int32_t i = ek;  // previous cell of the boundary list
  for (int32_t j = 1; j <= c; ++j) {
    const int32_t li = cell_link(i);
    const int32_t vi = cell_item(li);

    // Out of its bucket.
    const int32_t b = back(vi);
    if (b != 0) {
      if (b > 0)
        fwd(b) = fwd(vi);
      else
        deg_head(-b) = fwd(vi);
      if (fwd(vi) > 0) back(fwd(vi)) = b;
    }

    // Purge: drop absorbed elements, members of ek and vk itself.
    int32_t f = 0;
    int32_t prev = vi;
    for (int32_t s = cell_link(vi); s != 0; s = cell_link(s)) {
      if (mark(cell_item(s)) >= t) {
        cell_link(prev) = cell_link(s);
        f = s;
      } else {
        prev = s;
      }
    }

    const int32_t first = cell_link(vi);
    if (first == 0) {
      // Interior to ek: mass elimination, numbered right behind the pivot.
      cell_link(i) = cell_link(li);
      k += 1;
      fwd(vi) = -k;
      back(ek) -= 1;
      continue;
    }

    bool moved = false;
    const int32_t evi = cell_item(first);
    if (cell_link(first) == 0 && fwd(evi) < 0) {
      if (mark(evi) >= 0) {
        // Prototype of the vertices whose only other element is evi: its
        // cell goes to the end of the boundary list, to be updated last.
        back(vi) = evi;
        mark(evi) = -1;
        cell_link(tail) = li;
        tail = li;
        cell_link(i) = cell_link(li);
        moved = true;
      } else {
        // Indistinguishable from the prototype.
        back(vi) = 0;
        mark(evi) -= 1;
      }
    } else {
      back(vi) = -ek;
    }

    // ek at the front of vi's list, in the freed cell.
    cell_item(f) = ek;
    cell_link(f) = cell_link(vi);
    cell_link(vi) = f;

    if (!moved) i = li;
  }
  cell_link(tail) = 0;
}

void mdu(int32_t ek, int32_t& dmin, IVec cell_item, IVec cell_link, IVec deg_head, IVec back, IVec fwd, IVec mark) {
  int32_t t = mark(ek) - back(ek);
  int32_t li = cell_link(ek);
  for (int32_t j = 1; j <= back(ek); ++j, li = cell_link(li)) {
    const int32_t vi = cell_item(li);
    int32_t dvi;
    if (back(vi) < 0) {
      t += 1;
      dvi = back(ek);
      bool outmatched = false;
      // The first cell of vi's list holds ek itself.
      for (int32_t s = cell_link(cell_link(vi)); s != 0; s = cell_link(s)) {
        const int32_t vs = cell_item(s);
        if (fwd(vs) >= 0) {
          mark(vs) = t;
          dvi += 1;
        } else if (mark(vs) < 0) {
          // vi sees the prototype's element besides ek: it is outmatched.
          back(vi) = 0;
          mark(vs) -= 1;
          for (int32_t s2 = cell_link(s); s2 != 0; s2 = cell_link(s2)) {
            const int32_t item = cell_item(s2);
            if (mark(item) < 0) mark(item) -= 1;
          }
          outmatched = true;
          break;
        } else {
          int32_t ls = cell_link(vs);
          for (int32_t m = 1; m <= back(vs); ++m, ls = cell_link(ls)) {
            const int32_t vb = cell_item(ls);
            if (mark(vb) < t) {
              mark(vb) = t;
              dvi += 1;
            }
          }
        }
      }
      if (outmatched) continue;
    } else if (back(vi) == 0) {
      continue;
    } else {
      // Prototype: ek's and evi's boundaries, less their overlap.
      const int32_t evi = back(vi);
      dvi = back(ek) + back(evi) + mark(evi);
      mark(evi) = 0;
    }
    bucket_push(vi, dvi, deg_head, back, fwd);
    if (dvi < dmin) dmin = dvi;
  }
}

void md(int32_t n, CIVec ia, CIVec ja, int32_t nc, IVec cell_item, IVec cell_link, IVec deg_head, IVec perm,
        IVec iperm, IVec mark, int32_t& flag) {
  IVec back = perm;
  IVec fwd = iperm;
  int32_t tag = 0;
  mdi(n, ia, ja, nc, cell_item, cell_link, deg_head, back, fwd, mark, tag, flag);
  if (flag != 0) return;
  int32_t k = 0;
  int32_t dmin = 1;
  while (k < n) {
    while (deg_head(dmin) <= 0) ++dmin;
    // The head of the lowest non-empty bucket: the vertex inserted last.
    const int32_t vk = deg_head(dmin);
    deg_head(dmin) = fwd(vk);
    if (fwd(vk) > 0) back(fwd(vk)) = -dmin;
    k += 1;
    fwd(vk) = -k;
    // vk becomes the element ek, with dmin-1 boundary vertices.
    const int32_t ek = vk;
    back(ek) = dmin - 1;
    tag += dmin - 1;
    mark(vk) = tag;
    int32_t tail = 0;
    mdm(vk, tail, cell_item, cell_link, back, fwd, mark);
    mdp(k, ek, tail, cell_item, cell_link, deg_head, back, fwd, mark);
    mdu(ek, dmin, cell_item, cell_link, deg_head, back, fwd, mark);
  }
  for (int32_t v = 1; v <= n; ++v) {
    fwd(v) = -fwd(v);
    back(fwd(v)) = v;
  }
}

}  // namespace yale
