#pragma once

// Registers the icon (128) and the bitmap (151) with the dialog layer; safe
// to call more than once.
void EnsureUiResources();
