#pragma once
// Turns one picture file (JPG/JPEG, BMP, PNG) into one device picture file: a 640 x 480 baseline JPEG
// carrying the fixed EXIF block and a 160 x 120 thumbnail. Frames, encoder, EXIF writer and output
// buffers are allocated once and reused from picture to picture.
//
