// Moving the window between its pages: the page switch, the client size per page, and the way into
// the main page after a log-in or a server choice.
#pragma once

// The client size of the pages, in base units: one width, a height per page. The server page is the
// tallest; before the first page the window has the main page's height.
static const int CLIENT_WIDTH = 600;
static const int SERVER_PAGE_HEIGHT = 492;
static const int LOGIN_PAGE_HEIGHT = 452;
static const int TERMS_PAGE_HEIGHT = 400;
static const int FOLDER_PAGE_HEIGHT = 374;
static const int MAIN_PAGE_HEIGHT = 370;

// The client height of a page, in base units (width is always CLIENT_WIDTH).
int page_client_height(int page);
// Shows the page: its controls, its client size, its timers and focus; invalidates the window.
void show_page(int page);
// Resizes the window so that its client is CLIENT_WIDTH by height (base units), keeping its top-left corner.
void resize_client(int height);
// After a log-in or the terms acceptance: the main page with the update run when a server is chosen
// (or the game is not to be started), otherwise the server page.
void show_main_page_after_login();
// A server card was clicked: saves the choice (1 or 2) on a worker while the window is busy, then
// shows the main page and starts the update run.
void enter_main_page(int choice);
