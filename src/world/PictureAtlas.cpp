#include "world/PictureAtlas.h"

#include <algorithm>

namespace quillotide {

namespace {

int powerOfTwoAtLeast(int n) {
  int p = 1;
  while (p < n) p *= 2;
  return p;
}

}  // namespace

PictureAtlas::PictureAtlas(int pageSide, int maxSide)
    : m_pageSide(std::max(1, std::min(pageSide, maxSide))), m_maxSide(std::max(1, maxSide)) {}

void PictureAtlas::clear() {
  m_pages.clear();
  m_usedArea = 0;
}

bool PictureAtlas::placeOnPage(Page& page, int w, int h, AtlasPlace& at) {
  // A shelf takes a picture as high as it or somewhat lower, so pictures of one kind (land tiles,
  // posts of one height) share shelves and a low one does not waste a high shelf.
  for (Shelf& s : page.shelves) {
    if (h > s.height || h < s.height - s.height / 4 - 8) continue;
    if (s.filled + w > page.side) continue;
    at = {0, s.filled + kMargin, s.top + kMargin};
    s.filled += w;
    return true;
  }
  if (page.shelvesBottom + h > page.side || w > page.side) return false;
  page.shelves.push_back({page.shelvesBottom, h, w});
  at = {0, kMargin, page.shelvesBottom + kMargin};
  page.shelvesBottom += h;
  return true;
}

AtlasPlace PictureAtlas::place(int w, int h) {
  if (w <= 0 || h <= 0) return {};
  // The margin is counted once per picture: its right and bottom neighbours keep their own.
  const int bw = w + 2 * kMargin;
  const int bh = h + 2 * kMargin;
  if (bw > m_maxSide || bh > m_maxSide) return {};
  AtlasPlace at;
  for (std::size_t p = 0; p < m_pages.size(); ++p)
    if (placeOnPage(m_pages[p], bw, bh, at)) {
      at.page = static_cast<int>(p);
      m_usedArea += std::int64_t(bw) * bh;
      return at;
    }
  Page page;
  page.side = std::max(m_pageSide, std::min(m_maxSide, powerOfTwoAtLeast(std::max(bw, bh))));
  m_pages.push_back(page);
  placeOnPage(m_pages.back(), bw, bh, at);
  at.page = static_cast<int>(m_pages.size() - 1);
  m_usedArea += std::int64_t(bw) * bh;
  return at;
}

}  // namespace quillotide
