// The browser's side of the web edition, as an emscripten JavaScript library:
// the canvas and its size in device pixels, putting the pixels on it, the
// page's storage, its address, full screen, the control bar's look, and
// downloads. Everything here is a small step the C++ side asks for
// (browser_page.h); what the steps mean is decided there. The DOM it works on
// is index.html's: the canvas #pages and the control bar #bar.

mergeInto(LibraryManager.library, {
  $veltranePage: {
    canvas: null,
    context: null,
    width: 0,
    height: 0,
    ratioQuery: null,

    // The canvas's size in device pixels where the browser does not say it:
    // its CSS box times the ratio, with the edges rounded to whole device
    // pixels as the browser places them.
    estimateSize: function(cssWidth, cssHeight) {
      var rect = veltranePage.canvas.getBoundingClientRect();
      var ratio = window.devicePixelRatio || 1;
      var left = rect.left, top = rect.top;
      return [Math.round((left + cssWidth) * ratio) - Math.round(left * ratio),
              Math.round((top + cssHeight) * ratio) - Math.round(top * ratio)];
    },

    sizeChanged: function(width, height) {
      if (width === veltranePage.width && height === veltranePage.height) return;
      veltranePage.width = width;
      veltranePage.height = height;
      _veltrane_canvas_resized(width, height);
    },

    // A move to a display with another ratio changes the device pixels
    // without changing the CSS size. Chromium's observer does not report
    // that (nor does one that reports only CSS sizes), so a media query on
    // the ratio tells, and the size is worked out from the CSS box.
    watchRatio: function() {
      if (!window.matchMedia) return;
      if (veltranePage.ratioQuery) veltranePage.ratioQuery.removeEventListener('change', veltranePage.ratioChanged);
      veltranePage.ratioQuery = window.matchMedia('(resolution: ' + (window.devicePixelRatio || 1) + 'dppx)');
      veltranePage.ratioQuery.addEventListener('change', veltranePage.ratioChanged);
    },

    ratioChanged: function() {
      veltranePage.watchRatio();
      var rect = veltranePage.canvas.getBoundingClientRect();
      var size = veltranePage.estimateSize(rect.width, rect.height);
      veltranePage.sizeChanged(size[0], size[1]);
    },

    element: function(id) { return document.getElementById(id); },
  },

  veltrane_set_up_canvas__deps: ['$veltranePage'],
  veltrane_set_up_canvas: function() {
    var canvas = document.getElementById('pages');
    if (!canvas || !canvas.getContext) return 0;
    var context = canvas.getContext('2d', {alpha: false, colorSpace: 'srgb'});
    if (!context) return 0;
    veltranePage.canvas = canvas;
    veltranePage.context = context;
    var rect = canvas.getBoundingClientRect();
    var size = veltranePage.estimateSize(rect.width, rect.height);
    veltranePage.width = size[0];
    veltranePage.height = size[1];

    // The observer's device pixels are exact where the browser snaps the box
    // to them; they are taken when they agree with the CSS size times the
    // ratio to a pixel. An emulated ratio (the developer tools' device mode)
    // leaves them at the real ratio's, and then the CSS size times the ratio
    // is what the screen shows.
    var observer = new ResizeObserver(function(entries) {
      var entry = entries[entries.length - 1];
      var box = entry.contentBoxSize && entry.contentBoxSize[0];
      var estimate = box ? veltranePage.estimateSize(box.inlineSize, box.blockSize)
                         : veltranePage.estimateSize(entry.contentRect.width, entry.contentRect.height);
      var devicePixels = entry.devicePixelContentBoxSize && entry.devicePixelContentBoxSize[0];
      if (devicePixels && Math.abs(devicePixels.inlineSize - estimate[0]) <= 1 &&
          Math.abs(devicePixels.blockSize - estimate[1]) <= 1) {
        veltranePage.sizeChanged(devicePixels.inlineSize, devicePixels.blockSize);
      } else {
        veltranePage.sizeChanged(estimate[0], estimate[1]);
      }
    });
    try {
      observer.observe(canvas, {box: 'device-pixel-content-box'});
    } catch (error) {
      observer.observe(canvas);
    }
    veltranePage.watchRatio();
    return 1;
  },

  // A link with values opened in a page that is already open changes only
  // the part after '#'.
  veltrane_watch_address: function() {
    window.addEventListener('hashchange', function() { _veltrane_address_changed(); });
  },

  veltrane_canvas_width__deps: ['$veltranePage'],
  veltrane_canvas_width: function() { return veltranePage.width; },
  veltrane_canvas_height__deps: ['$veltranePage'],
  veltrane_canvas_height: function() { return veltranePage.height; },

  // The pixels go on the canvas as they are: its backing store is sized to
  // them, and putImageData neither scales nor smooths.
  veltrane_put_canvas_pixels__deps: ['$veltranePage'],
  veltrane_put_canvas_pixels: function(pointer, width, height) {
    var canvas = veltranePage.canvas;
    if (canvas.width !== width) canvas.width = width;
    if (canvas.height !== height) canvas.height = height;
    if (width === 0 || height === 0) return;
    var pixels = new Uint8ClampedArray(HEAPU8.buffer, pointer, width * height * 4);
    veltranePage.context.putImageData(new ImageData(pixels, width, height), 0, 0);
  },

  // localStorage throws when the browser switches it off for the page.
  veltrane_storage_usable: function() {
    try {
      return window.localStorage ? 1 : 0;
    } catch (error) {
      return 0;
    }
  },

  veltrane_storage_get__deps: ['malloc'],
  veltrane_storage_get: function(name, lengthOut) {
    var text;
    try {
      text = window.localStorage.getItem(UTF8ToString(name));
    } catch (error) {
      text = null;
    }
    if (text === null) return 0;
    var length = lengthBytesUTF8(text);
    var pointer = _malloc(length + 1);
    stringToUTF8(text, pointer, length + 1);
    HEAP32[lengthOut >> 2] = length;
    return pointer;
  },

  veltrane_storage_set: function(name, text) {
    try {
      window.localStorage.setItem(UTF8ToString(name), UTF8ToString(text));
      return 1;
    } catch (error) {
      return 0;
    }
  },

  // The part of the address after '#', which is then taken out of the
  // address, so a reload does not bring the same values back.
  veltrane_take_address_fragment__deps: ['malloc'],
  veltrane_take_address_fragment: function(lengthOut) {
    var fragment = window.location.hash.replace(/^#/, '');
    HEAP32[lengthOut >> 2] = 0;
    if (!fragment) return 0;
    try {
      history.replaceState(history.state, '', window.location.pathname + window.location.search);
    } catch (error) {
      window.location.hash = '';
    }
    var length = lengthBytesUTF8(fragment);
    var pointer = _malloc(length + 1);
    stringToUTF8(fragment, pointer, length + 1);
    HEAP32[lengthOut >> 2] = length;
    return pointer;
  },

  veltrane_set_link__deps: ['$veltranePage'],
  veltrane_set_link: function(fragment) {
    var link = veltranePage.element('link');
    if (link) link.href = window.location.href.split('#')[0] + '#' + UTF8ToString(fragment);
  },

  veltrane_copy_link__deps: ['$veltranePage'],
  veltrane_copy_link: function() {
    var link = veltranePage.element('link');
    var status = veltranePage.element('status');
    var say = function(text) { if (status) status.textContent = text; };
    if (!link) return;
    if (navigator.clipboard && navigator.clipboard.writeText) {
      navigator.clipboard.writeText(link.href).then(
        function() { say('Link copied: open it on the other device.'); },
        function() { say('The link could not be copied here: copy it from the link\'s menu (right click or long press).'); });
    } else {
      say('Copy the link from its menu (right click or long press).');
    }
  },

  veltrane_request_full_screen: function() {
    var element = document.documentElement;
    var request = element.requestFullscreen || element.webkitRequestFullscreen;
    if (!request) return 0;
    try {
      var promise = request.call(element);
      if (promise && promise.catch) promise.catch(function() {});
    } catch (error) {
      return 0;
    }
    return 1;
  },

  veltrane_leave_full_screen: function() {
    var leave = document.exitFullscreen || document.webkitExitFullscreen;
    if (!leave || !(document.fullscreenElement || document.webkitFullscreenElement)) return;
    var promise = leave.call(document);
    if (promise && promise.catch) promise.catch(function() {});
  },

  veltrane_is_full_screen: function() {
    return (document.fullscreenElement || document.webkitFullscreenElement) ? 1 : 0;
  },

  // In full screen the adjustment keys with Ctrl (Ctrl+Page Up and Ctrl+Page
  // Down switch tabs in some browsers) reach the page; Escape stays the
  // browser's. Where the Keyboard Lock API is missing nothing changes.
  veltrane_lock_adjustment_keys: function() {
    if (!navigator.keyboard || !navigator.keyboard.lock) return;
    navigator.keyboard.lock(['PageUp', 'PageDown', 'Home', 'End', 'Insert', 'Delete']).catch(function() {});
  },

  veltrane_show_bar__deps: ['$veltranePage'],
  veltrane_show_bar: function(shown) {
    var bar = veltranePage.element('bar');
    if (bar) bar.hidden = !shown;
    document.body.classList.toggle('still', !shown);
  },

  veltrane_set_note__deps: ['$veltranePage'],
  veltrane_set_note: function(text) {
    var note = veltranePage.element('note');
    if (note) note.textContent = UTF8ToString(text);
  },

  veltrane_set_values__deps: ['$veltranePage'],
  veltrane_set_values: function(text) {
    var values = veltranePage.element('values');
    if (values) values.textContent = UTF8ToString(text);
  },

  veltrane_set_status__deps: ['$veltranePage'],
  veltrane_set_status: function(text) {
    var status = veltranePage.element('status');
    if (status) status.textContent = UTF8ToString(text);
  },

  veltrane_set_channel__deps: ['$veltranePage'],
  veltrane_set_channel: function(channel) {
    ['channel-red', 'channel-green', 'channel-blue'].forEach(function(id, index) {
      var button = veltranePage.element(id);
      if (button) button.setAttribute('aria-pressed', index === channel ? 'true' : 'false');
    });
  },

  veltrane_toggle_help__deps: ['$veltranePage'],
  veltrane_toggle_help: function() {
    var help = veltranePage.element('help');
    if (!help) return 0;
    help.hidden = !help.hidden;
    return help.hidden ? 0 : 1;
  },

  veltrane_set_full_screen_label__deps: ['$veltranePage'],
  veltrane_set_full_screen_label: function(fullScreen) {
    var button = veltranePage.element('full-screen');
    if (button) button.textContent = fullScreen ? 'Leave full screen' : 'Full screen';
  },

  // A bar button keeps no focus, so Space and Enter stay keys of the pages.
  veltrane_drop_focus: function() {
    if (document.activeElement && document.activeElement.blur) document.activeElement.blur();
  },

  veltrane_offer_download: function(name, mimeType, pointer, length) {
    var blob = new Blob([HEAPU8.slice(pointer, pointer + length)], {type: UTF8ToString(mimeType)});
    var url = URL.createObjectURL(blob);
    var link = document.createElement('a');
    link.href = url;
    link.download = UTF8ToString(name);
    link.style.display = 'none';
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(function() { URL.revokeObjectURL(url); }, 60000);
  },

  veltrane_show_start_up_error__deps: ['$veltranePage'],
  veltrane_show_start_up_error: function(text) {
    var message = veltranePage.element('start-up-error');
    if (!message) return;
    message.textContent = UTF8ToString(text);
    message.hidden = false;
  },
});
