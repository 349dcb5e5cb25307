// The service mode pages' script: the port and service selectors, the
// on/off switches, the word after a save, the field a refused save was
// about, and a question before unsaved edits are left. Every page works
// without it; nothing here changes what the form sends but the switches'
// 0 or 1.
(function () {
  "use strict";
  // Template page of each service number, 1 to 8.
  var PAGES = ["s2n_service_mode_vcom.htm", "s2n_service_mode_tcpsrv.htm",
    "s2n_service_mode_tcpcli.htm", "s2n_service_mode_udp.htm", "rtu_slave_mode.htm",
    "rtu_master_mode.htm", "ascii_slave_mode.htm", "ascii_master_mode.htm"];
  // What a submitted form leaves for the page the program answers with.
  var SENT = "s2n-sent";
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
  var msg = document.querySelector(".msg");
  var pending = document.querySelector(".pending");
  var index = parseInt(form.elements.h_PortIndex.value, 10) || 0;
  var page = form.elements.next_page.value;
  var refused = false;
  var leaving = false;

  function url(query) {
    return form.getAttribute("action") + "?lang=" +
      encodeURIComponent(form.elements.lang.value) + "&h_PortIndex=" + query;
  }

  // The fields a user edits: the selectors move to another page instead.
  function fields() {
    return Array.prototype.filter.call(form.elements, function (el) {
      return el.tagName === "INPUT" && el.type !== "hidden" && el.type !== "submit";
    });
  }

  // Entries that no save has stored: edited ones, or all of them after a
  // refused save, whose page shows what was sent, not what is stored.
  function unsaved() {
    return refused || fields().some(function (el) {
      return el.type === "checkbox" ? el.checked !== el.defaultChecked : el.value !== el.defaultValue;
    });
  }

  // Once the user has agreed, the events the dialog leaves behind (the
  // list losing the focus) ask no second time.
  function mayLeave() {
    leaving = leaving || !unsaved() || window.confirm(form.getAttribute("data-leave"));
    return leaving;
  }

  // The port list always marks the first port; the page's own port is the
  // hidden index. A page taken back from the history, or a switch the user
  // called off, shows its own port and service again.
  function mark() {
    port.selectedIndex = index;
    for (var i = 0; i < service.options.length; ++i)
      if (service.options[i].defaultSelected)
        service.selectedIndex = i;
  }

  function load(query) {
    if (mayLeave())
      location.href = url(query);
    else
      mark();
  }

  function loadPort() {
    if (port.selectedIndex !== index)
      load(port.selectedIndex);
  }

  function loadService() {
    if (!service.options[service.selectedIndex].defaultSelected)
      load(index + "&next_page=" + PAGES[service.value - 1]);
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

  // A 0..1 range becomes a checkbox with the switch role, labelled by the
  // field's name, with its state in words beside it. The range stays as a
  // hidden field that carries 0 or 1, so the form sends one value always.
  function makeSwitch(range) {
    var box = range.parentNode;
    var name = box.parentNode.firstElementChild;
    var words = [box.firstChild.textContent.trim(), box.lastChild.textContent.trim()];
    var sw = document.createElement("input");
    var state = document.createElement("span");
    sw.type = "checkbox";
    sw.setAttribute("role", "switch");
    sw.defaultChecked = sw.checked = range.value === "1";
    name.id = name.id || range.name + "-name";
    sw.setAttribute("aria-labelledby", name.id);
    sw.setAttribute("data-for", range.name);
    state.className = "state";
    state.setAttribute("aria-hidden", "true");
    range.type = "hidden";
    function show() {
      range.value = sw.checked ? "1" : "0";
      state.textContent = words[+sw.checked];
    }
    sw.addEventListener("change", show);
    show();
    box.textContent = "";
    box.append(sw, state, range);
  }

  // The fields a refused save was about: those whose value breaks the
  // page's limits, else the filled-in fields the message names. Each is
  // marked and tied to the message; the first gets the focus.
  function markFaults() {
    var text = msg.textContent.trim();
    var all = fields();
    var faults = all.filter(function (el) {
      return !el.validity.valid;
    });
    if (!faults.length)
      faults = all.filter(function (el) {
        return el.getAttribute("data-fault") === text && el.value !== "";
      });
    msg.id = msg.id || "msg";
    faults.forEach(function (el) {
      el.setAttribute("aria-invalid", "true");
      el.setAttribute("aria-describedby", msg.id);
      el.addEventListener("input", function () {
        el.removeAttribute("aria-invalid");
      }, { once: true });
    });
    if (faults.length)
      faults[0].focus();
  }

  // The page the program answered a submitted form with. The program keeps
  // a refused save's values only where it could: the page shows what the
  // user sent, and the service the port still runs. A stored save says so.
  // Either way a reload then shows the page and sends nothing again.
  function answered(sent) {
    if (msg.textContent.trim()) {
      refused = true;
      fields().forEach(function (el) {
        if (el.type === "checkbox")
          el.checked = sent.values[el.getAttribute("data-for")] === "1";
        else if (el.name in sent.values)
          el.value = sent.values[el.name];
        el.dispatchEvent(new Event("change"));
      });
      pending.setAttribute("data-stored", sent.stored);
      markFaults();
    } else {
      var done = document.querySelector(".done");
      done.hidden = false;
      done.lastElementChild.hidden = !sent.reset;
    }
    history.replaceState(null, "", url(index + "&next_page=" + page));
  }

  form.addEventListener("submit", function (e) {
    var values = {};
    new FormData(form).forEach(function (value, name) {
      values[name] = value;
    });
    sessionStorage.setItem(SENT, JSON.stringify({
      page: page, port: index, stored: pending.getAttribute("data-stored"), values: values,
      reset: !!(e.submitter && e.submitter.name === "h_ClearConn")
    }));
  });

  // Links leave the page: ask first when there are unsaved entries.
  document.addEventListener("click", function (e) {
    var link = e.target.closest && e.target.closest("a[href]");
    if (link && !mayLeave())
      e.preventDefault();
  });

  form.querySelectorAll(".switch input[type=range]").forEach(makeSwitch);
  follow(port, loadPort);
  follow(service, loadService);
  // A page taken back from the history asks again before it is left.
  window.addEventListener("pageshow", function () {
    leaving = false;
    mark();
  });
  mark();
  var sent = JSON.parse(sessionStorage.getItem(SENT) || "null");
  sessionStorage.removeItem(SENT);
  // A submitted form's answer is the bare program URL; the pages themselves
  // are always loaded with a query.
  if (sent && sent.page === page && sent.port === index && !location.search)
    answered(sent);
})();
