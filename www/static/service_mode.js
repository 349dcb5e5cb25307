// Port and service selectors of the service mode pages. A choice loads
// another page, in the page's language; nothing is saved until the form is
// sent with its Save button, which always saves the page's own service.
(function () {
  "use strict";
  // Template page of each service number, 1 to 8.
  var PAGES = ["s2n_service_mode_vcom.htm", "s2n_service_mode_tcpsrv.htm",
    "s2n_service_mode_tcpcli.htm", "s2n_service_mode_udp.htm", "rtu_slave_mode.htm",
    "rtu_master_mode.htm", "ascii_slave_mode.htm", "ascii_master_mode.htm"];
  var form = document.getElementById("settings");
  // Inside another site's frame the form could be clicked without the user
  // seeing what for, so it is not shown there. The web server's headers
  // forbid such frames; this holds where a server sends none.
  var framed = window.top !== window;
  try {
    framed = framed && window.top.location.origin !== location.origin;
  } catch (e) {
    // Another site's location cannot be read: framed stays true.
  }
  if (framed) {
    form.parentNode.removeChild(form);
    return;
  }
  var port = document.getElementById("port");
  var service = document.getElementById("service");
  var index = parseInt(form.elements.h_PortIndex.value, 10) || 0;

  function load(query) {
    location.href = form.getAttribute("action") + "?lang=" +
      encodeURIComponent(form.elements.lang.value) + "&h_PortIndex=" + query;
  }

  function loadPort() {
    if (port.selectedIndex !== index)
      load(port.selectedIndex);
  }

  function loadService() {
    if (!service.options[service.selectedIndex].defaultSelected)
      load(index + "&next_page=" + PAGES[service.value - 1]);
  }

  // The port list always marks the first port; the page's own port is the
  // hidden index. A page taken back from the history shows its own port
  // and service again, not the choice that left it.
  function mark() {
    port.selectedIndex = index;
    for (var i = 0; i < service.options.length; ++i)
      if (service.options[i].defaultSelected)
        service.selectedIndex = i;
  }

  // Arrow keys on a closed list change its choice at once, one entry per
  // key; a choice made that way loads its page on Enter or when the list
  // loses the focus, so the keyboard can step past entries.
  function follow(list, loadChoice) {
    var stepping = false;
    list.addEventListener("keydown", function (e) {
      stepping = !e.altKey && /^(Arrow|Page|Home|End)/.test(e.key);
      if (e.key === "Enter")
        loadChoice();
    });
    list.addEventListener("mousedown", function () {
      stepping = false;
    });
    list.addEventListener("change", function () {
      if (!stepping)
        loadChoice();
    });
    list.addEventListener("blur", loadChoice);
  }

  follow(port, loadPort);
  follow(service, loadService);
  window.addEventListener("pageshow", mark);
  mark();
})();
