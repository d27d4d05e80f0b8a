// "$$Cop&y media" and "$$P&aste media" through the system clipboard. The
// payload is exactly the media's subtree stream, under a private MIME type,
// so another running quolvane (or xclip) reads it as it is.
#pragma once

#include <QString>

class CQuolvaneDoc;

extern const QString kMediaMimeType;  // application/x-quolvane-data

// Puts the current media's stream on the clipboard; nothing when the tree's
// current item is not a media.
void CopyMediaToClipboard(CQuolvaneDoc& doc);
// True while the clipboard offers the private type.
bool ClipboardOffersMedia();
// Appends the clipboard's media to the document; false when there was none
// or it could not be read (the document reported why).
bool PasteMediaFromClipboard(CQuolvaneDoc& doc);
