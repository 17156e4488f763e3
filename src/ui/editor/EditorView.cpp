#include "ui/editor/EditorView.h"

#include <array>
#include <cstddef>
#include <unordered_map>
#include <vector>

#include <GL/gl.h>

#include "world/PictureAtlas.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWindow>
#include <QPainter>
#include <QSurfaceFormat>
#include <QTimer>
#include <QVBoxLayout>

#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif
#ifndef GL_UNSIGNED_INT_8_8_8_8_REV
#define GL_UNSIGNED_INT_8_8_8_8_REV 0x8367
#endif
#ifndef GL_CLAMP_TO_BORDER
#define GL_CLAMP_TO_BORDER 0x812D
#endif

namespace quillotide::ui {

namespace {

QSurfaceFormat editorFormat() {
  QSurfaceFormat f;
  f.setRenderableType(QSurfaceFormat::OpenGL);
  f.setVersion(2, 1);
  f.setProfile(QSurfaceFormat::CompatibilityProfile);
  f.setOption(QSurfaceFormat::DeprecatedFunctions);
  f.setDepthBufferSize(24);
  f.setRedBufferSize(8);
  f.setGreenBufferSize(8);
  f.setBlueBufferSize(8);
  f.setAlphaBufferSize(8);
  f.setStencilBufferSize(0);
  f.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  return f;
}

}  // namespace

void setEditorSurfaceFormat() { QSurfaceFormat::setDefaultFormat(editorFormat()); }

bool editorOpenGLWorks() {
  static const bool works = [] {
    const QString platform = QGuiApplication::platformName();
    // These platforms cannot show a window holding an OpenGL view.
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
      return false;
    QOpenGLContext context;
    context.setFormat(editorFormat());
    if (!context.create()) return false;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface)) return false;
    const bool fixedFunction = context.format().profile() != QSurfaceFormat::CoreProfile;
    context.doneCurrent();
    return fixedFunction;
  }();
  return works;
}

// Draws the prepared scene. The pictures lie in a few large textures (atlas pages); every drawn
// command is one quad of a vertex buffer that stays as it is from frame to frame, and each page
// and tint is one call over an index list in command order, topmost first. Each command has its
// own depth, the topmost nearest, so the depth test keeps the topmost opaque texel of every pixel
// whatever order the calls come in; drawn front to back, the pixels an item hides are rejected
// by the depth test before their texels are read. Transparent texels are dropped by the alpha
// test and leave the depth as it was. A frame that changed only some pictures (the mouse moved
// to another item, an animation switched) rewrites only their quads.
//
// A picture drawn 1:1 (statics, land tiles) takes the texel under the middle of each window pixel,
// found from the pixel's place and the picture's top left in world pixels; a texture laid
// through a cell's corners takes the texel its coordinates, spread over the triangles, name. The
// fragment program reads the middle of that texel in the picture's page, so a quad cut down to
// the part that is not covered from above reads the very texels the whole quad would, whatever
// the zoom and wherever the picture lies in the atlas. The commands' parts that lie under the
// solid parts of those above are left out of the quads: on a software renderer the depth test of
// a hidden pixel costs nearly what drawing it does.
//
// The drawing is a window of its own inside the view, drawn straight into the window's buffers:
// an OpenGL widget would draw into a texture that the editor window then draws again, which on a
// software renderer costs more than the whole frame. The window never takes the keyboard focus;
// its mouse events go to the view as if they had reached it.
class EditorGLWindow : public QOpenGLWindow, protected QOpenGLFunctions {
public:
  explicit EditorGLWindow(EditorView& view)
      : QOpenGLWindow(QOpenGLWindow::NoPartialUpdate), m_view(view), m_atlas(kPageSide, kPageSide) {
    setFlag(Qt::WindowDoesNotAcceptFocus);
  }
  ~EditorGLWindow() override {
    if (context()) {
      makeCurrent();
      dropPictures();
      if (m_glyphTexture) glDeleteTextures(1, &m_glyphTexture);
      if (m_vertexBuffer) glDeleteBuffers(1, &m_vertexBuffer);
      if (m_indexBuffer) glDeleteBuffers(1, &m_indexBuffer);
      doneCurrent();
    }
  }

  std::size_t textureCount() const { return m_pages.size() + m_own.size(); }
  void setItemByItem(bool on) {
    m_itemByItem = on;
    update();
  }

  // Draws a frame into the back buffer and reads it, without showing it; empty before the
  // window was first shown.
  QImage grabFrame() {
    if (!isValid()) return {};
    makeCurrent();
    paintGL();
    const int w = static_cast<int>(width() * devicePixelRatio());
    const int h = static_cast<int>(height() * devicePixelRatio());
    QImage image(w, h, QImage::Format_RGBA8888_Premultiplied);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    doneCurrent();
    // OpenGL's rows run bottom up.
    return image.mirrored().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  }

protected:
  // A click gives the view the focus, as it would if the view had been clicked.
  void mousePressEvent(QMouseEvent* event) override {
    if (m_view.focusPolicy() & Qt::ClickFocus) m_view.setFocus(Qt::MouseFocusReason);
    m_view.mousePressEvent(event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override { m_view.mouseReleaseEvent(event); }
  void mouseDoubleClickEvent(QMouseEvent* event) override { m_view.mouseDoubleClickEvent(event); }
  void mouseMoveEvent(QMouseEvent* event) override { m_view.mouseMoveEvent(event); }
  void wheelEvent(QWheelEvent* event) override { m_view.wheelEvent(event); }
  bool event(QEvent* event) override {
    if (event->type() == QEvent::Leave) {
      emit m_view.left();
    }
    return QOpenGLWindow::event(event);
  }

  void initializeGL() override {
    initializeOpenGLFunctions();
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    if (maxSide > 0) {
      m_view.scene().setMaxTextureSide(maxSide);
      m_atlas = PictureAtlas(std::min(kPageSide, int(maxSide)), maxSide);
    }
    glGenBuffers(1, &m_vertexBuffer);
    glGenBuffers(1, &m_indexBuffer);
    makeProgram();
    makeGlyphs();
  }

  // The texel is the floor of its coordinate, as nearest filtering takes it; outside the picture
  // it is transparent, as the border of a texture of its own is. The colour is the texel times
  // the tint; the alpha test drops the transparent.
  void makeProgram() {
    m_program.addShaderFromSourceCode(QOpenGLShader::Vertex, R"(#version 120
attribute vec4 place;
attribute float throughCorners;
varying vec2 texel;
varying vec4 picture;
varying float corners;
void main() {
  gl_Position = ftransform();
  gl_FrontColor = gl_Color;
  texel = gl_MultiTexCoord0.st;
  picture = place;
  corners = throughCorners;
})");
    m_program.addShaderFromSourceCode(QOpenGLShader::Fragment, R"(#version 120
uniform sampler2D page;
uniform vec2 pageSize;
uniform vec2 worldPerPixel;
uniform float windowHeight;
varying vec2 texel;
varying vec4 picture;
varying float corners;
void main() {
  vec2 world = vec2(gl_FragCoord.x, windowHeight - gl_FragCoord.y) * worldPerPixel;
  vec2 t = floor(corners > 0.5 ? texel : world - texel);
  if (t.x < 0.0 || t.y < 0.0 || t.x >= picture.z || t.y >= picture.w) discard;
  gl_FragColor = texture2D(page, (picture.xy + t + 0.5) / pageSize) * gl_Color;
})");
    m_program.bindAttributeLocation("place", kPlaceAttribute);
    m_program.bindAttributeLocation("throughCorners", kCornersAttribute);
    m_programWorks = m_program.link();
    if (m_programWorks) {
      m_program.bind();
      m_program.setUniformValue("page", 0);
      m_program.release();
    }
  }

  void paintGL() override {
    EditorScene& scene = m_view.scene();
    // Pictures made afresh (the editor reopened on other files) replace the old ones: their
    // textures would never be drawn again.
    if (scene.pictureGeneration() != m_pictureGeneration) {
      dropPictures();
      m_pictureGeneration = scene.pictureGeneration();
      m_remake = true;
    }
    m_view.prepareFrame();
    const qreal dpr = devicePixelRatio();
    const double zoom = scene.zoom();
    const double worldW = scene.clientWidth() * zoom;
    const double worldH = scene.clientHeight() * zoom;

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, static_cast<GLsizei>(width() * dpr), static_cast<GLsizei>(height() * dpr));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, worldW, worldH, 0, -1, 1);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glAlphaFunc(GL_GREATER, 0.1f);
    glEnable(GL_ALPHA_TEST);
    // Every texel is either fully transparent (dropped by the alpha test) or opaque, so blending
    // would give the same pixels; leaving it off spares a read of every covered pixel.
    glDisable(GL_BLEND);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

    // Without the fragment program the atlas cannot be read texel for texel: every item is
    // drawn on its own then.
    if (m_itemByItem || !m_programWorks)
      drawItemByItem(scene);
    else
      drawBatched(scene);

    glEnable(GL_DEPTH_TEST);
    drawWeb(scene);
    drawAltitudes(scene);
    drawOverlay(scene);
    m_view.frameDrawn();
  }

private:
  static constexpr int kPageSide = 2048;
  // Tinted: a texture laid through the corners (0.8); inSelection: the selection's cold tint.
  static int lookOf(const DrawCommand& c) { return (c.throughCorners ? 1 : 0) | (c.inSelection ? 2 : 0); }
  void setLook(int look) {
    const float shade = (look & 1) ? 0.8f : 1.0f;
    // The selection's cold tint; the item under the mouse has its own look, the selection hue.
    if (look & 2)
      glColor3f(0.55f * shade, 0.8f * shade, shade);
    else
      glColor3f(shade, shade, shade);
  }

  struct Vertex {
    float x, y, z;
    // Through the corners: the texels of the picture's own texture; else the picture's top
    // left in world pixels.
    float s, t;
    std::uint16_t place[4];  // the picture's top left in its page, its width and height
    float throughCorners;    // 1 or 0
  };
  static constexpr int kPlaceAttribute = 1;
  static constexpr int kCornersAttribute = 2;
  struct Group {
    std::size_t first = 0;  // in indices
    std::size_t count = 0;
  };

  void dropPictures() {
    for (const GLuint tex : m_pages)
      if (tex) glDeleteTextures(1, &tex);
    for (const auto& [id, tex] : m_own)
      if (tex) glDeleteTextures(1, &tex);
    m_pages.clear();
    m_own.clear();
    m_places.clear();
    m_atlas.clear();
  }

  GLuint newTexture() {
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    // Outside the texture lies a transparent border, never a repeated or stretched edge texel.
    const GLfloat border[4] = {0, 0, 0, 0};
    glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    return tex;
  }

  // The picture's place in the atlas, uploaded on first use; page -1 when it cannot be drawn.
  const AtlasPlace& placeOf(const ScenePicture& p) {
    if (p.id >= m_places.size()) m_places.resize(p.id + 1, AtlasPlace{kUnplaced, 0, 0});
    AtlasPlace& at = m_places[p.id];
    if (at.page != kUnplaced) return at;
    const int w = p.contentWidth, h = p.contentHeight;
    at = m_atlas.place(w, h);
    if (at.page < 0) return at;
    while (static_cast<int>(m_pages.size()) <= at.page) {
      const int side = m_atlas.pageSide(static_cast<int>(m_pages.size()));
      GLuint tex = newTexture();
      // The margins between pictures must read as transparent.
      const std::vector<std::uint32_t> clear(std::size_t(side) * std::size_t(side), 0);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, side, side, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                   clear.data());
      if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &tex);
        tex = 0;
      }
      m_pages.push_back(tex);
    }
    if (!m_pages[static_cast<std::size_t>(at.page)]) {
      at.page = -1;
      return at;
    }
    glBindTexture(GL_TEXTURE_2D, m_pages[static_cast<std::size_t>(at.page)]);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, p.pixels.width);
    // 0xAARRGGBB words are BGRA bytes in memory.
    glTexSubImage2D(GL_TEXTURE_2D, 0, at.x, at.y, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                    p.pixels.pixels.data());
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    return at;
  }

  // The four corners of a command's quad (two triangles 0 1 2 and 0 2 3), left out where it lies
  // under the solid parts of those above (clip); `at` is the picture's place in its page.
  static void quadOf(const EditorScene& scene, const DrawCommand& c, const AtlasPlace& at, float z,
                     bool clip, Vertex* v) {
    const float l = static_cast<float>(c.left);
    const float t = static_cast<float>(c.top);
    const ScenePicture& p = *c.picture;
    const std::uint16_t place[4] = {static_cast<std::uint16_t>(at.x),
                                    static_cast<std::uint16_t>(at.y),
                                    static_cast<std::uint16_t>(c.throughCorners ? p.pixels.width
                                                                                : p.contentWidth),
                                    static_cast<std::uint16_t>(c.throughCorners ? p.pixels.height
                                                                                : p.contentHeight)};
    auto put = [&](int k, float x, float y, float s, float tt) {
      v[k] = {x, y, z, s, tt, {place[0], place[1], place[2], place[3]}, c.throughCorners ? 1.f : 0.f};
    };
    if (c.throughCorners) {
      const TItem& item = scene.visibleItems()[c.item];
      const float w = static_cast<float>(p.pixels.width);
      const float h = static_cast<float>(p.pixels.height);
      auto corner = [&](int k, Corner n, float s, float tt) {
        put(k, l + static_cast<float>(item.cornerDx(n)), t + static_cast<float>(item.cornerDy(n)),
            s, tt);
      };
      corner(0, kCornerTop, 0, 0), corner(1, kCornerLeft, 0, h);
      corner(2, kCornerBottom, w, h), corner(3, kCornerRight, w, 0);
      return;
    }
    // The rectangle the picture may show in: a land tile's art lies in its 44 x 44 box (its
    // diamond is drawn one pixel larger, which the art's transparent rim leaves unchanged),
    // a static's in its content.
    const bool land = !isObjectKind(scene.visibleItems()[c.item].kind);
    float x0 = land ? l - 1 : l, y0 = land ? t - 1 : t;
    float x1 = land ? l + 45 : l + static_cast<float>(p.contentWidth);
    float y1 = land ? t + 45 : t + static_cast<float>(p.contentHeight);
    const bool cut = clip && (c.clipLeft > x0 || c.clipTop > y0 || c.clipRight < x1 ||
                              c.clipBottom < y1);
    if (land && !cut) {
      put(0, l + 22, t - 1, l, t), put(1, l - 1, t + 22, l, t);
      put(2, l + 22, t + 45, l, t), put(3, l + 45, t + 22, l, t);
      return;
    }
    if (cut) {
      x0 = std::max(x0, c.clipLeft), y0 = std::max(y0, c.clipTop);
      x1 = std::max(x0, std::min(x1, c.clipRight)), y1 = std::max(y0, std::min(y1, c.clipBottom));
    }
    put(0, x0, y0, l, t), put(1, x0, y1, l, t), put(2, x1, y1, l, t), put(3, x1, y0, l, t);
  }

  float depthOf(std::size_t command) const {
    // The topmost item (first command) lies nearest.
    return 1.0f - static_cast<float>(command + 1) * m_depthStep;
  }

  // The group (page and tint) of a drawn command, or -1.
  int groupOf(const DrawCommand& c) {
    if (c.hidden) return -1;
    const AtlasPlace& at = placeOf(*c.picture);
    return at.page < 0 ? -1 : at.page * 4 + lookOf(c);
  }

  void remakeBuffers(const EditorScene& scene) {
    const auto& commands = scene.commands();
    m_depthStep = 1.0f / static_cast<float>(commands.size() + 1);
    m_slot.assign(commands.size(), -1);
    m_groupOf.assign(commands.size(), -1);
    m_vertices.clear();
    for (std::size_t i = 0; i < commands.size(); ++i) {
      const int g = groupOf(commands[i]);
      if (g < 0) continue;
      m_groupOf[i] = g;
      m_slot[i] = static_cast<std::int32_t>(m_vertices.size() / 4);
      m_vertices.resize(m_vertices.size() + 4);
      quadOf(scene, commands[i], m_places[commands[i].picture->id], depthOf(i), true,
             &m_vertices[m_vertices.size() - 4]);
    }
    glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(m_vertices.size() * sizeof(Vertex)),
                 m_vertices.data(), GL_DYNAMIC_DRAW);
    remakeIndices();
  }

  // The index lists of the groups, each in command order.
  void remakeIndices() {
    int groups = 0;
    for (const int g : m_groupOf) groups = std::max(groups, g + 1);
    m_groups.assign(static_cast<std::size_t>(groups), {});
    for (const int g : m_groupOf)
      if (g >= 0) m_groups[static_cast<std::size_t>(g)].count += 6;
    std::size_t first = 0;
    for (Group& grp : m_groups) {
      grp.first = first;
      first += grp.count;
      grp.count = 0;
    }
    m_indices.resize(first);
    for (std::size_t i = 0; i < m_groupOf.size(); ++i) {
      if (m_groupOf[i] < 0) continue;
      Group& grp = m_groups[static_cast<std::size_t>(m_groupOf[i])];
      const auto v = static_cast<std::uint32_t>(m_slot[i]) * 4;
      std::uint32_t* out = &m_indices[grp.first + grp.count];
      out[0] = v, out[1] = v + 1, out[2] = v + 2, out[3] = v, out[4] = v + 2, out[5] = v + 3;
      grp.count += 6;
    }
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(m_indices.size() * sizeof(std::uint32_t)),
                 m_indices.data(), GL_DYNAMIC_DRAW);
  }

  // Rewrites the quads of the commands named; false when a new quad has no slot yet.
  bool updateBuffers(const EditorScene& scene, const std::vector<std::uint32_t>& changed) {
    const auto& commands = scene.commands();
    if (commands.size() != m_slot.size()) return false;
    bool regroup = false;
    glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
    for (const std::uint32_t i : changed) {
      if (i >= commands.size()) return false;
      const int g = groupOf(commands[i]);
      if ((g < 0) != (m_slot[i] < 0)) return false;
      if (g < 0) continue;
      regroup = regroup || g != m_groupOf[i];
      m_groupOf[i] = g;
      Vertex* v = &m_vertices[static_cast<std::size_t>(m_slot[i]) * 4];
      quadOf(scene, commands[i], m_places[commands[i].picture->id], depthOf(i), true, v);
      glBufferSubData(GL_ARRAY_BUFFER, GLintptr(std::size_t(m_slot[i]) * 4 * sizeof(Vertex)),
                      GLsizeiptr(4 * sizeof(Vertex)), v);
    }
    if (regroup) remakeIndices();
    return true;
  }

  void drawBatched(const EditorScene& scene) {
    const CommandChanges changes = m_view.scene().takeCommandChanges();
    if (m_remake || changes.all || !updateBuffers(scene, changes.commands)) remakeBuffers(scene);
    m_remake = false;
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    bindProgram(scene);
    glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indexBuffer);
    enableVertices(nullptr);
    for (std::size_t g = 0; g < m_groups.size(); ++g) {
      if (m_groups[g].count == 0) continue;
      glBindTexture(GL_TEXTURE_2D, m_pages[g / 4]);
      const auto side = GLfloat(m_atlas.pageSide(int(g / 4)));
      m_program.setUniformValue("pageSize", side, side);
      setLook(static_cast<int>(g % 4));
      glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(m_groups[g].count), GL_UNSIGNED_INT,
                     reinterpret_cast<const void*>(m_groups[g].first * sizeof(std::uint32_t)));
    }
    disableVertices();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    m_program.release();
  }

  void bindProgram(const EditorScene& scene) {
    m_program.bind();
    const qreal dpr = devicePixelRatio();
    const double zoom = scene.zoom();
    m_program.setUniformValue("worldPerPixel",
                              GLfloat(scene.clientWidth() * zoom / (width() * dpr)),
                              GLfloat(scene.clientHeight() * zoom / (height() * dpr)));
    m_program.setUniformValue("windowHeight", GLfloat(height() * dpr));
  }

  // The vertex arrays of `base` (a buffer's start when one is bound).
  void enableVertices(const Vertex* base) {
    const auto at = [base](std::size_t offset) {
      return reinterpret_cast<const char*>(base) + offset;
    };
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(Vertex), at(0));
    glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), at(offsetof(Vertex, s)));
    glEnableVertexAttribArray(kPlaceAttribute);
    glVertexAttribPointer(kPlaceAttribute, 4, GL_UNSIGNED_SHORT, GL_FALSE, sizeof(Vertex),
                          at(offsetof(Vertex, place)));
    glEnableVertexAttribArray(kCornersAttribute);
    glVertexAttribPointer(kCornersAttribute, 1, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          at(offsetof(Vertex, throughCorners)));
  }

  void disableVertices() {
    glDisableVertexAttribArray(kCornersAttribute);
    glDisableVertexAttribArray(kPlaceAttribute);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
  }

  // A texture of its own per picture, as large as the picture.
  GLuint ownTexture(const ScenePicture& p) {
    auto found = m_own.find(p.id);
    if (found != m_own.end()) return found->second;
    GLuint tex = newTexture();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, p.pixels.width, p.pixels.height, 0, GL_BGRA,
                 GL_UNSIGNED_INT_8_8_8_8_REV, p.pixels.pixels.data());
    if (glGetError() != GL_NO_ERROR) {
      // A texture the implementation refuses draws nothing; the editor goes on.
      glDeleteTextures(1, &tex);
      tex = 0;
    }
    m_own.emplace(p.id, tex);
    return tex;
  }

  // The plain drawing the batched one must match: every command, hidden or not, whole, from the
  // bottom up, each from its picture's own texture, the later over the earlier.
  void drawItemByItem(const EditorScene& scene) {
    // The buffers are made afresh when the batched drawing is back.
    m_view.scene().takeCommandChanges();
    m_remake = true;
    glDisable(GL_DEPTH_TEST);
    bindProgram(scene);
    const auto& commands = scene.commands();
    for (std::size_t i = commands.size(); i-- > 0;) {
      const DrawCommand& c = commands[i];
      const GLuint tex = ownTexture(*c.picture);
      if (!tex) continue;
      glBindTexture(GL_TEXTURE_2D, tex);
      m_program.setUniformValue("pageSize", GLfloat(c.picture->pixels.width),
                                GLfloat(c.picture->pixels.height));
      setLook(lookOf(c));
      Vertex v[4];
      quadOf(scene, c, AtlasPlace{0, 0, 0}, 0, false, v);
      enableVertices(v);
      const GLubyte order[6] = {0, 1, 2, 0, 2, 3};
      glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_BYTE, order);
      disableVertices();
    }
    m_program.release();
  }

  // The web lies over everything drawn, as lines without depth and texture.
  void drawWeb(const EditorScene& scene) {
    if (!scene.showWeb()) return;
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    const auto& items = scene.visibleItems();
    for (const DrawCommand& c : scene.commands()) {
      if (!c.web) continue;
      const float l = static_cast<float>(c.left) + 0.5f;
      const float t = static_cast<float>(c.top) + 0.5f;
      if (!c.diamondWeb) {
        glBegin(GL_LINES);
        glVertex2f(l, t + 22), glVertex2f(l + 22, t);
        glVertex2f(l + 22, t), glVertex2f(l + 44, t + 22);
        glEnd();
        continue;
      }
      glBegin(GL_LINE_LOOP);
      if (c.throughCorners) {
        const TItem& item = items[c.item];
        for (Corner k : {kCornerTop, kCornerLeft, kCornerBottom, kCornerRight})
          glVertex2f(l + static_cast<float>(item.cornerDx(k)),
                     t + static_cast<float>(item.cornerDy(k)));
      } else {
        glVertex2f(l, t + 22), glVertex2f(l + 22, t), glVertex2f(l + 44, t + 22),
            glVertex2f(l + 22, t + 44);
      }
      glEnd();
    }
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
  }

  // Marks and the brush outline lie over everything, the web included.
  void drawOverlay(const EditorScene& scene) {
    const std::vector<OverlayLine> lines = scene.overlayLines();
    if (lines.empty()) return;
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_LINES);
    for (const OverlayLine& l : lines) {
      glColor3ub(static_cast<GLubyte>(redOf(l.colour)), static_cast<GLubyte>(greenOf(l.colour)),
                 static_cast<GLubyte>(blueOf(l.colour)));
      glVertex2f(l.x0 + 0.5f, l.y0 + 0.5f);
      glVertex2f(l.x1 + 0.5f, l.y1 + 0.5f);
    }
    glEnd();
    glColor3f(1, 1, 1);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
  }

  // The altitude numbers are text of a fixed 16-pixel font in window pixels, whatever the zoom:
  // the glyphs of "-0123456789" are drawn once into a texture and put on quads.
  static constexpr int kGlyphCell = 16;
  static constexpr int kGlyphHeight = 20;
  static constexpr int kGlyphs = 11;
  void makeGlyphs() {
    QImage atlas(kGlyphCell * 16, 32, QImage::Format_ARGB32);
    atlas.fill(Qt::transparent);
    QFont font;
    font.setPixelSize(16);
    font.setWeight(QFont::Medium);
    const QFontMetrics metrics(font);
    m_glyphAscent = metrics.ascent();
    QPainter painter(&atlas);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QString chars = QStringLiteral("-0123456789");
    for (int i = 0; i < kGlyphs; ++i) {
      painter.drawText(QPoint(i * kGlyphCell, m_glyphAscent), chars.mid(i, 1));
      m_glyphAdvance[static_cast<std::size_t>(i)] = metrics.horizontalAdvance(chars[i]);
    }
    painter.end();
    glGenTextures(1, &m_glyphTexture);
    glBindTexture(GL_TEXTURE_2D, m_glyphTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, atlas.width(), atlas.height(), 0, GL_BGRA,
                 GL_UNSIGNED_INT_8_8_8_8_REV, atlas.constBits());
  }

  void drawAltitudes(const EditorScene& scene) {
    if (!scene.flat2D() || !scene.showAltitudes() || !m_glyphTexture) return;
    const auto& items = scene.visibleItems();
    const float zoom = static_cast<float>(scene.zoom());
    const float du = float(kGlyphCell) / 256.0f;
    const float dv = float(kGlyphHeight) / 32.0f;
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_ALPHA_TEST);
    glBindTexture(GL_TEXTURE_2D, m_glyphTexture);
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    for (const DrawCommand& c : scene.commands()) {
      if (!c.altitudeText) continue;
      // The text's baseline starts at (left + 10, top + 25).
      float x = static_cast<float>(c.left + 10);
      const float top = static_cast<float>(c.top + 25) - static_cast<float>(m_glyphAscent) * zoom;
      const float bottom = top + kGlyphHeight * zoom;
      for (const QChar ch : QString::number(items[c.item].z)) {
        const int g = ch == QLatin1Char('-') ? 0 : ch.digitValue() + 1;
        if (g < 0 || g >= kGlyphs) continue;
        const float u = static_cast<float>(g) * du;
        const float right = x + kGlyphCell * zoom;
        glTexCoord2f(u, 0), glVertex2f(x, top);
        glTexCoord2f(u, dv), glVertex2f(x, bottom);
        glTexCoord2f(u + du, dv), glVertex2f(right, bottom);
        glTexCoord2f(u + du, 0), glVertex2f(right, top);
        x += static_cast<float>(m_glyphAdvance[static_cast<std::size_t>(g)]) * zoom;
      }
    }
    glEnd();
    glEnable(GL_DEPTH_TEST);
  }

  static constexpr int kUnplaced = -2;

  EditorView& m_view;
  GLuint m_glyphTexture = 0;
  int m_glyphAscent = 0;
  std::array<int, kGlyphs> m_glyphAdvance{};
  std::uint64_t m_pictureGeneration = 0;
  PictureAtlas m_atlas;
  std::vector<GLuint> m_pages;
  std::vector<AtlasPlace> m_places;  // by picture id; page kUnplaced before the first use
  std::unordered_map<std::uint32_t, GLuint> m_own;  // the drawing item by item
  bool m_itemByItem = false;
  QOpenGLShaderProgram m_program;
  bool m_programWorks = false;
  bool m_remake = true;
  GLuint m_vertexBuffer = 0;
  GLuint m_indexBuffer = 0;
  float m_depthStep = 1.0f;
  std::vector<Vertex> m_vertices;
  std::vector<std::uint32_t> m_indices;
  std::vector<std::int32_t> m_slot;     // per command: its quad in the vertex buffer, or -1
  std::vector<int> m_groupOf;           // per command: its page and tint, or -1
  std::vector<Group> m_groups;
};

EditorView::EditorView(EditorScene& scene, bool withOpenGL, QWidget* parent)
    : QWidget(parent), m_scene(scene) {
  m_clock.start();
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  if (withOpenGL && editorOpenGLWorks()) {
    m_gl = new EditorGLWindow(*this);
    m_glWidget = QWidget::createWindowContainer(m_gl, this);
    m_glWidget->setObjectName(QStringLiteral("EditorGL"));
    m_glWidget->setMouseTracking(true);
    layout->addWidget(m_glWidget);
  } else {
    m_placeholder = new QLabel(
        QStringLiteral("OpenGL cannot draw here, so the world is not shown. Keys, mouse and menu "
                       "work; start the program on a display with OpenGL to see the world."),
        this);
    m_placeholder->setObjectName(QStringLiteral("lNoOpenGL"));
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setWordWrap(true);
    m_placeholder->setMouseTracking(true);
    m_placeholder->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_placeholder->setStyleSheet(QStringLiteral("background: black; color: white;"));
    layout->addWidget(m_placeholder);
  }
  m_animationTimer = new QTimer(this);
  m_animationTimer->setSingleShot(true);
  connect(m_animationTimer, &QTimer::timeout, this, &EditorView::refresh);
}

EditorView::~EditorView() = default;

QWidget* EditorView::drawingWidget() const {
  return m_gl ? m_glWidget : static_cast<QWidget*>(m_placeholder);
}

void EditorView::prepareIfNeeded() {
  // A copy added or moved since the frame was made (an "Add" before the next paint) would
  // leave the frame naming other copies than those drawn.
  if (!m_prepared || !m_scene.framePrepared()) prepareFrame();
}

void EditorView::prepareFrame() {
  m_scene.prepare(now());
  m_prepared = true;
  QStringList problems;
  for (const std::string& p : m_scene.takeProblems()) problems << QString::fromStdString(p);
  if (!problems.isEmpty()) emit drawingFailed(problems.join(QLatin1Char('\n')));
}

std::size_t EditorView::textureCount() const { return m_gl ? m_gl->textureCount() : 0; }

void EditorView::setItemByItem(bool on) {
  if (m_gl) m_gl->setItemByItem(on);
}

void EditorView::refresh() {
  if (m_gl)
    m_gl->update();
  else
    m_prepared = false;
}

QWindow* EditorView::drawingWindow() const { return m_gl; }

QImage EditorView::frame() { return m_gl ? m_gl->grabFrame() : QImage(); }

void EditorView::frameDrawn() {
  ++m_frames;
  const std::int64_t t = now();
  const std::int64_t elapsed = t - m_rateStart;
  if (elapsed >= 500) {
    // Frames drawn per second of the clock, not how fast one frame could be drawn.
    emit frameRateMeasured(static_cast<int>(std::int64_t(m_frames) * 1000 / elapsed));
    m_frames = 0;
    m_rateStart = t;
  }
  if (const auto due = m_scene.nextAnimationDue())
    m_animationTimer->start(static_cast<int>(std::clamp<std::int64_t>(*due - t, 1, 60000)));
}

void EditorView::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (event->button() == Qt::LeftButton) emit leftPressed(p, event->modifiers());
  if (event->button() == Qt::RightButton) emit rightPressed(p);
  if (event->button() == Qt::MiddleButton) emit middlePressed(p);
}

void EditorView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (event->button() == Qt::LeftButton) emit leftReleased(p, event->modifiers());
  if (event->button() == Qt::MiddleButton) emit middleReleased(p);
}

void EditorView::wheelEvent(QWheelEvent* event) {
  // Fine-grained wheels send parts of a notch; they add up to whole steps.
  m_wheelRest += event->angleDelta().y();
  const int notches = m_wheelRest / 120;
  m_wheelRest -= notches * 120;
  if (notches != 0) emit wheelTurned(event->position().toPoint(), notches);
  event->accept();
}

void EditorView::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  emit left();
}

void EditorView::setPreferredSize(QSize size) {
  m_preferred = size;
  updateGeometry();
}

void EditorView::mouseMoveEvent(QMouseEvent* event) {
  emit moved(event->position().toPoint(), event->buttons());
}

void EditorView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_scene.setClientSize(width(), height());
  refresh();
  emit resized();
}

}  // namespace quillotide::ui
