#pragma once
// PictureAtlas: where the pictures of the world editor lie in a few large square textures
// (pages), so that a frame binds a page once and draws all its items with one call. Pictures are
// packed on shelves: rows as high as their first picture, filled left to right. Every picture
// keeps a ring of kMargin texels to its neighbours and the page's edge that belongs to no
// picture, so a sample that falls just outside a picture reads a transparent texel, as it would
// outside a texture of its own.

#include <cstdint>
#include <vector>

namespace quillotide {

struct AtlasPlace {
  int page = -1;  // -1: not placed
  int x = 0;      // the picture's top left texel in its page
  int y = 0;
};

class PictureAtlas {
public:
  static constexpr int kMargin = 4;

  // Pages of pageSide x pageSide texels; a picture too large for one gets a page of its own, as
  // large as it needs (rounded up to a power of two) but at most maxSide.
  PictureAtlas(int pageSide, int maxSide);

  // A place for a w x h picture; page -1 for an empty picture or one larger than maxSide. Places
  // never move: a new page is opened when no page has room.
  AtlasPlace place(int w, int h);
  // Forgets every place and page.
  void clear();

  int pageCount() const { return static_cast<int>(m_pages.size()); }
  int pageSide(int page) const { return m_pages[static_cast<std::size_t>(page)].side; }
  // Texels given to pictures, margins included (for the tests of the packing).
  std::int64_t usedArea() const { return m_usedArea; }

private:
  struct Shelf {
    int top = 0;
    int height = 0;
    int filled = 0;  // texels used from the left
  };
  struct Page {
    int side = 0;
    int shelvesBottom = 0;  // the first row no shelf holds
    std::vector<Shelf> shelves;
  };
  bool placeOnPage(Page& page, int w, int h, AtlasPlace& at);

  int m_pageSide;
  int m_maxSide;
  std::vector<Page> m_pages;
  std::int64_t m_usedArea = 0;
};

}  // namespace quillotide
