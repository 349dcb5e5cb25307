// Port and service selectors of the service mode pages. A choice loads
// another page at once, in the page's language; nothing is saved until the
// form is sent with its Save button.
(function () {
  "use strict";
  // Template page of each service number, 1 to 8.
  var PAGES = ["s2n_service_mode_vcom.htm", "s2n_service_mode_tcpsrv.htm",
    "s2n_service_mode_tcpcli.htm", "s2n_service_mode_udp.htm", "rtu_slave_mode.htm",
    "rtu_master_mode.htm", "ascii_slave_mode.htm", "ascii_master_mode.htm"];
  var form = document.getElementById("settings");
  var port = form.elements.PortList;
  var mode = form.elements.h_ServiceMode;
  var index = parseInt(form.elements.h_PortIndex.value, 10) || 0;

  function load(query) {
    location.href = form.getAttribute("action") + "?lang=" +
      encodeURIComponent(form.elements.lang.value) + "&h_PortIndex=" + query;
  }

  // The port list always marks the first port; the page's own port is the
  // hidden index. A page taken back from the history shows its own port
  // and service again, not the choice that left it.
  function mark() {
    port.selectedIndex = index;
    for (var i = 0; i < mode.options.length; ++i)
      if (mode.options[i].defaultSelected)
        mode.selectedIndex = i;
  }

  port.addEventListener("change", function () {
    load(port.selectedIndex);
  });
  mode.addEventListener("change", function () {
    load(index + "&next_page=" + PAGES[mode.value - 1]);
  });
  window.addEventListener("pageshow", mark);
  mark();
})();
