// The shell association of ".qdx" container files, renewed at every opening of the window.
#pragma once

void registerFileType();
