// Runs before the program: starts fetching the caption font at once, beside
// the WebAssembly module, and holds main back until the font is in the
// program's file system (at /fonts/DejaVuSans.ttf). A font that cannot be
// fetched leaves the pages without their caption; the program says so.
var Module = typeof Module !== 'undefined' ? Module : {};
(function() {
  var fontRequest = fetch('DejaVuSans.ttf').then(function(response) {
    if (!response.ok) throw new Error('HTTP ' + response.status + ' for DejaVuSans.ttf');
    return response.arrayBuffer();
  });
  Module['preRun'] = [function() {
    addRunDependency('caption-font');
    fontRequest.then(function(bytes) {
      FS.mkdir('/fonts');
      FS.writeFile('/fonts/DejaVuSans.ttf', new Uint8Array(bytes));
    }).catch(function(error) {
      console.warn('veltrane: the caption font could not be fetched: ' + error);
    }).then(function() {
      removeRunDependency('caption-font');
    });
  }];
})();
