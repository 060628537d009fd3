#pragma once

#include <QFont>
#include <QImage>
#include <QString>

// Off-screen drawing surfaces reached through integer handles (0 = none). Each surface is a
// raster image with its own font and background mode; the routines fill, blend, copy, stretch
// and write text on them. Drawing on or from handle 0 does nothing.
namespace MDC {

constexpr int SRCCOPY = 0xCC0020;
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
constexpr int DT_CENTER = 1;
constexpr int DT_RIGHT = 2;
constexpr int DT_VCENTER = 4;
constexpr int DT_BOTTOM = 8;
constexpr int DT_SINGLELINE = 32;
constexpr int DT_NOCLIP = 256;

int CreateSurface(int width, int height);
int SurfaceFromBitmap(const QImage &bitmap);
void DeleteSurface(int surface);

int BlitSurface(int destination, int x, int y, int width, int height, int source, int sourceX,
                int sourceY, int rasterOperation = SRCCOPY);
// Copies like BlitSurface but leaves out source pixels of the colour 0x00BBGGRR.
int TransparentBlitSurface(int destination, int x, int y, int width, int height, int source,
                           int sourceX, int sourceY, quint32 transparentColour);
// Corners kept at their size, edges and centre stretched; a negative colour copies everything.
int DrawNineGrid(int destination, int x, int y, int width, int height, int source, int sourceX,
                 int sourceY, int sourceWidth, int sourceHeight, int left, int top, int right,
                 int bottom, qint64 transparentColour = -1);
int FillAlpha(int destination, int x, int y, int width, int height, quint32 colour, int alpha);
int DrawTextInRect(int surface, const QString &text, int x, int y, int width, int height,
                   int format);

// Size is the height of the character cell in pixels; returns a font handle, 0 on failure.
int SelectNewFont(int surface, const QString &faceName = QString(), int size = 0,
                  bool bold = false, bool italic = false, bool strikethrough = false,
                  bool underline = false);
int SetBackgroundMode(int surface, int mode);

// What a surface holds, for painting it into a widget and for checks.
QImage SurfaceImage(int surface);
QFont SurfaceFont(int surface);
bool SurfaceExists(int surface);

// 0x00BBGGRR to a colour and back.
QColor ColourFromRef(quint32 colour);
quint32 RefFromColour(const QColor &colour);

} // namespace MDC
