#include "ui/editor/EditorView.h"

#include <array>
#include <unordered_map>
#include <vector>

#include <GL/gl.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLWidget>
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

// Draws the prepared scene: one texture per picture, the quads of all items sharing a picture in
// one vertex array, each item at its own depth so that the topmost item wins every pixel
// whatever order the batches are drawn in.
class EditorGLWidget : public QOpenGLWidget {
public:
  explicit EditorGLWidget(EditorView& view) : QOpenGLWidget(&view), m_view(view) {
    setMouseTracking(true);
  }
  ~EditorGLWidget() override {
    if (!m_textures.empty() && context()) {
      makeCurrent();
      dropTextures();
      if (m_glyphTexture) glDeleteTextures(1, &m_glyphTexture);
      doneCurrent();
    }
  }

  std::size_t textureCount() const { return m_textures.size(); }

protected:
  void initializeGL() override {
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    if (maxSide > 0) m_view.scene().setMaxTextureSide(maxSide);
    makeGlyphs();
  }

  void paintGL() override {
    EditorScene& scene = m_view.scene();
    // Pictures made afresh (the editor reopened on other files) replace the old ones: their
    // textures would never be drawn again.
    if (scene.pictureGeneration() != m_pictureGeneration) {
      dropTextures();
      m_pictureGeneration = scene.pictureGeneration();
    }
    m_view.prepareFrame();
    const qreal dpr = devicePixelRatioF();
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
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    glEnable(GL_TEXTURE_2D);
    glAlphaFunc(GL_GREATER, 0.1f);
    glEnable(GL_ALPHA_TEST);
    // Every texel is either fully transparent (dropped by the alpha test) or opaque, so blending
    // would give the same pixels; leaving it off spares a read of every covered pixel.
    glDisable(GL_BLEND);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

    buildBatches(scene);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, m_vertices.data());
    glTexCoordPointer(2, GL_FLOAT, 0, m_texCoords.data());
    for (const Batch& b : m_batches) {
      if (b.count == 0) continue;
      glBindTexture(GL_TEXTURE_2D, b.texture);
      const float shade = b.tinted ? 0.8f : 1.0f;
      // The selection's cold tint; the item under the mouse has its own look, the selection hue.
      if (b.inSelection)
        glColor3f(0.55f * shade, 0.8f * shade, shade);
      else
        glColor3f(shade, shade, shade);
      glDrawArrays(GL_TRIANGLES, static_cast<GLint>(b.first), static_cast<GLsizei>(b.count));
    }
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);

    drawWeb(scene);
    drawAltitudes(scene);
    drawOverlay(scene);
    m_view.frameDrawn();
  }

private:
  struct Batch {
    std::uint32_t picture = 0;
    GLuint texture = 0;
    bool tinted = false;
    bool inSelection = false;
    std::size_t first = 0;
    std::size_t count = 0;
  };

  void dropTextures() {
    for (const auto& [id, tex] : m_textures)
      if (tex) glDeleteTextures(1, &tex);
    m_textures.clear();
  }

  GLuint textureOf(const ScenePicture& p) {
    auto found = m_textures.find(p.id);
    if (found != m_textures.end()) return found->second;
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
    // 0xAARRGGBB words are BGRA bytes in memory.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, p.pixels.width, p.pixels.height, 0, GL_BGRA,
                 GL_UNSIGNED_INT_8_8_8_8_REV, p.pixels.pixels.data());
    if (glGetError() != GL_NO_ERROR) {
      // A texture the implementation refuses draws nothing; the editor goes on.
      glDeleteTextures(1, &tex);
      tex = 0;
    }
    m_textures.emplace(p.id, tex);
    return tex;
  }

  void buildBatches(const EditorScene& scene) {
    const auto& commands = scene.commands();
    const auto& items = scene.visibleItems();
    m_batches.clear();
    m_batchOf.clear();
    m_commandBatch.resize(commands.size());
    for (std::size_t i = 0; i < commands.size(); ++i) {
      const DrawCommand& c = commands[i];
      if (c.hidden) continue;
      const std::uint64_t key = (std::uint64_t(c.picture->id) << 1) | (c.inSelection ? 1u : 0u);
      auto [it, added] = m_batchOf.try_emplace(key, m_batches.size());
      if (added)
        m_batches.push_back(
            {c.picture->id, textureOf(*c.picture), c.throughCorners, c.inSelection});
      m_batches[it->second].count += 6;
      m_commandBatch[i] = it->second;
    }
    std::size_t first = 0;
    for (Batch& b : m_batches) {
      b.first = first;
      first += b.count;
      b.count = 0;
    }
    m_vertices.resize(first * 3);
    m_texCoords.resize(first * 2);
    const float depthStep = 1.0f / static_cast<float>(commands.size() + 1);
    for (std::size_t i = 0; i < commands.size(); ++i) {
      const DrawCommand& c = commands[i];
      if (c.hidden) continue;
      Batch& b = m_batches[m_commandBatch[i]];
      std::size_t v = b.first + b.count;
      b.count += 6;
      // The topmost item (first command) lies nearest.
      const float z = 1.0f - static_cast<float>(i + 1) * depthStep;
      auto put = [&](float x, float y, float s, float t) {
        m_vertices[3 * v] = x;
        m_vertices[3 * v + 1] = y;
        m_vertices[3 * v + 2] = z;
        m_texCoords[2 * v] = s;
        m_texCoords[2 * v + 1] = t;
        ++v;
      };
      const float l = static_cast<float>(c.left);
      const float t = static_cast<float>(c.top);
      if (c.throughCorners) {
        const TItem& item = items[c.item];
        const float tx = l + static_cast<float>(item.cornerDx(kCornerTop));
        const float ty = t + static_cast<float>(item.cornerDy(kCornerTop));
        const float lx = l + static_cast<float>(item.cornerDx(kCornerLeft));
        const float ly = t + static_cast<float>(item.cornerDy(kCornerLeft));
        const float bx = l + static_cast<float>(item.cornerDx(kCornerBottom));
        const float by = t + static_cast<float>(item.cornerDy(kCornerBottom));
        const float rx = l + static_cast<float>(item.cornerDx(kCornerRight));
        const float ry = t + static_cast<float>(item.cornerDy(kCornerRight));
        put(tx, ty, 0, 0), put(lx, ly, 0, 1), put(bx, by, 1, 1);
        put(tx, ty, 0, 0), put(bx, by, 1, 1), put(rx, ry, 1, 0);
      } else if (!isObjectKind(items[c.item].kind)) {
        // A land tile's art fills only its diamond: a diamond one pixel larger than the art's
        // covers every art pixel and half the quad's fill; what lies beyond the texture takes
        // the transparent border.
        const float w = static_cast<float>(c.picture->pixels.width);
        const float h = static_cast<float>(c.picture->pixels.height);
        auto corner = [&](float dx, float dy) { put(l + dx, t + dy, dx / w, dy / h); };
        corner(22, -1), corner(-1, 22), corner(22, 45);
        corner(22, -1), corner(22, 45), corner(45, 22);
      } else {
        // Only the part that can be opaque: the padding would draw nothing but cost fill.
        const ScenePicture& p = *c.picture;
        const float r = l + static_cast<float>(p.contentWidth);
        const float btm = t + static_cast<float>(p.contentHeight);
        const float s1 = static_cast<float>(p.contentWidth) / static_cast<float>(p.pixels.width);
        const float t1 = static_cast<float>(p.contentHeight) / static_cast<float>(p.pixels.height);
        put(l, t, 0, 0), put(l, btm, 0, t1), put(r, btm, s1, t1);
        put(l, t, 0, 0), put(r, btm, s1, t1), put(r, t, s1, 0);
      }
    }
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

  EditorView& m_view;
  GLuint m_glyphTexture = 0;
  int m_glyphAscent = 0;
  std::array<int, kGlyphs> m_glyphAdvance{};
  std::unordered_map<std::uint32_t, GLuint> m_textures;
  std::uint64_t m_pictureGeneration = 0;
  std::vector<Batch> m_batches;
  std::unordered_map<std::uint64_t, std::size_t> m_batchOf;
  std::vector<std::size_t> m_commandBatch;
  std::vector<float> m_vertices;
  std::vector<float> m_texCoords;
};

EditorView::EditorView(EditorScene& scene, bool withOpenGL, QWidget* parent)
    : QWidget(parent), m_scene(scene) {
  m_clock.start();
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  if (withOpenGL && editorOpenGLWorks()) {
    m_gl = new EditorGLWidget(*this);
    m_gl->setObjectName(QStringLiteral("EditorGL"));
    layout->addWidget(m_gl);
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
  return m_gl ? static_cast<QWidget*>(m_gl) : static_cast<QWidget*>(m_placeholder);
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

void EditorView::refresh() {
  if (m_gl)
    m_gl->update();
  else
    m_prepared = false;
}

QImage EditorView::frame() { return m_gl ? m_gl->grabFramebuffer() : QImage(); }

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
