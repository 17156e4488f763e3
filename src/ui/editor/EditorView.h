#pragma once
// The world editor's drawing area: an OpenGL view of an EditorScene, or, where OpenGL cannot
// render, a plain panel that says so (the mouse and the picking work all the same, as picking
// never reads the frame back). The area turns mouse events into signals for the editor window.

#include <QElapsedTimer>
#include <QWidget>

#include "world/EditorScene.h"

class QLabel;
class QTimer;
class QWindow;

namespace quillotide::ui {

class EditorGLWindow;

// The surface the editor draws on: a compatibility context with the fixed-function calls, a
// 24-bit depth buffer and double buffering. Set before the application object exists.
void setEditorSurfaceFormat();
// Whether a context of that format can be made and made current here.
bool editorOpenGLWorks();

class EditorView : public QWidget {
  Q_OBJECT
public:
  // withOpenGL false (or no working OpenGL) gives the panel without drawing.
  EditorView(EditorScene& scene, bool withOpenGL, QWidget* parent = nullptr);
  ~EditorView() override;

  EditorScene& scene() { return m_scene; }
  bool drawsWithOpenGL() const { return m_gl != nullptr; }
  // Milliseconds of the editor's tick counter.
  std::int64_t now() const { return m_clock.elapsed(); }
  // Prepares the scene when it waits for a rebuild or resort, so a pick answers for what the
  // next frame shows.
  void prepareIfNeeded();
  // Textures the OpenGL drawing holds now: atlas pages, and the pictures' own textures of the
  // drawing item by item (0 without OpenGL).
  std::size_t textureCount() const;
  // Draws every item on its own from the bottom up, each from a texture of its own, instead of
  // a few calls over the atlas: the plain drawing the quick one must match, pixel for pixel.
  void setItemByItem(bool on);
  // Asks for a frame (drawn once the event loop runs).
  void refresh();
  // The last drawn frame as the window shows it; empty without OpenGL.
  QImage frame();
  QWidget* drawingWidget() const;
  // The window the frames are shown in, inside drawingWidget(); it takes the mouse's events
  // first and hands them to the view. Null without OpenGL.
  QWindow* drawingWindow() const;
  // The size the view asks for in its window (the stored editor size); it may be resized freely.
  void setPreferredSize(QSize size);
  QSize sizeHint() const override { return m_preferred; }

signals:
  void leftPressed(QPoint position, Qt::KeyboardModifiers modifiers);
  void leftReleased(QPoint position, Qt::KeyboardModifiers modifiers);
  void rightPressed(QPoint position);
  void moved(QPoint position, Qt::MouseButtons buttons);
  void middlePressed(QPoint position);
  void middleReleased(QPoint position);
  // Whole notches of the wheel at the position, positive away from the user.
  void wheelTurned(QPoint position, int notches);
  // The mouse left the view.
  void left();
  void resized();
  // Frames drawn per second, measured over about half a second.
  void frameRateMeasured(int framesPerSecond);
  // A model failed while the items to draw were collected; the text says why. Drawing goes on
  // with what was read.
  void drawingFailed(const QString& text);

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void leaveEvent(QEvent* event) override;

private:
  friend class EditorGLWindow;
  void prepareFrame();
  void frameDrawn();

  EditorScene& m_scene;
  EditorGLWindow* m_gl = nullptr;
  QWidget* m_glWidget = nullptr;  // the drawing window's place among the widgets
  QLabel* m_placeholder = nullptr;
  QTimer* m_animationTimer = nullptr;
  QElapsedTimer m_clock;
  bool m_prepared = false;
  QSize m_preferred{800, 600};
  int m_wheelRest = 0;  // eighths of a degree short of a whole notch
  int m_frames = 0;
  std::int64_t m_rateStart = 0;
};

}  // namespace quillotide::ui
