// The service mode pages' script: the port and service selectors, the
// on/off switches, the checks of each field before a save, the word after
// a save, the field a refused save was about, and a question before
// unsaved edits are left. The form stays hidden without it (see below);
// nothing here changes what the form sends but the switches' 0 or 1. The
// program still checks every value: the checks here spare a round trip.
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
  // forbid such frames; this holds where a server sends none, and the form
  // comes hidden for frames that may not run this script.
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
  // The top window, or a frame of the device's own pages: show the form.
  form.hidden = false;
  // The page's own checks replace the browser's, whose bubbles speak the
  // browser's language and show one field at a time.
  form.noValidate = true;
  var port = document.getElementById("port");
  var service = document.getElementById("service");
  var msg = document.querySelector(".msg");
  var pending = document.querySelector(".pending");
  var index = parseInt(form.elements.h_PortIndex.value, 10) || 0;
  var page = form.elements.next_page.value;
  var done = document.querySelector(".done");
  var refused = false;
  var leaving = false;
  var saving = false;
  // Blanks as the program skips them around a number.
  var NUMBER = /^[ \t\n\v\f\r]*([+-]?[0-9]+)[ \t\n\v\f\r]*$/;

  // One of the form's message texts, its {name} parts filled in.
  function say(key, values) {
    return form.getAttribute("data-" + key).replace(/\{(\w+)\}/g, function (all, name) {
      return values[name];
    });
  }

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

  // A number field becomes a text field that reads what was typed as it
  // stands (a number field hides text it cannot parse and steps its value
  // under the mouse wheel); its min and max stay as the limits. Phones
  // show digits, and the full keyboard where a minus may be typed.
  function asText(el) {
    var min = el.getAttribute("min");
    el.type = "text";
    el.setAttribute("data-number", "");
    el.setAttribute("autocomplete", "off");
    el.spellcheck = false;
    if (min !== null && +min >= 0)
      el.inputMode = "numeric";
  }

  // What the text breaks of the field's own limits, as the message that
  // names what it takes, or "" when the field may be sent as it is.
  function fault(el) {
    var value = el.value;
    if (el.hasAttribute("data-number")) {
      var min = el.getAttribute("min"), max = el.getAttribute("max");
      var limits = { min: min, max: max };
      var number = NUMBER.exec(value);
      if (!number)
        return say(value.trim() ? "whole" : "range", limits);
      return min !== null && +number[1] < +min || max !== null && +number[1] > +max ? say("range", limits) : "";
    }
    var pattern = el.getAttribute("pattern");
    if (pattern !== null && (value || el.required) && !new RegExp("^(?:" + pattern + ")$").test(value))
      return say("address", {});
    // The program counts the bytes it stores.
    var most = el.getAttribute("maxlength");
    if (most !== null && new TextEncoder().encode(value).length > +most)
      return say("length", { max: most });
    return "";
  }

  // A message under a field, which stays until the field changes.
  function showFault(el, text) {
    var note = document.getElementById(el.name + "-fault");
    if (!note) {
      note = document.createElement("small");
      note.className = "fault";
      note.id = el.name + "-fault";
      el.nextElementSibling.after(note);
    }
    note.textContent = text;
    el.setAttribute("aria-invalid", "true");
    el.setAttribute("aria-describedby", note.id);
  }

  function clearFault(el) {
    var note = document.getElementById(el.name + "-fault");
    if (note)
      note.remove();
    el.removeAttribute("aria-invalid");
    el.removeAttribute("aria-describedby");
  }

  // Every field at fault gets its message at once; the first the focus.
  function showFaults(faults) {
    faults.forEach(function (f) {
      showFault(f.el, f.text);
    });
    if (faults.length)
      faults[0].el.focus();
    return faults.length;
  }

  // A value as the program shows it back: a number without sign + or
  // leading zeros, an address with its missing parts as 0.
  function plain(el, value) {
    var number = NUMBER.exec(value);
    if (el.hasAttribute("data-number") && number)
      return String(+number[1]);
    if (el.getAttribute("pattern") !== null) {
      var parts = value.split(".").map(Number);
      while (parts.length < 4)
        parts.push(0);
      return parts.join(".");
    }
    return value;
  }

  // The field a refused save was about, with the message to show under it.
  // The page's checks passed what was sent, so it is found by the program's
  // answer: where it refuses a value it shows the stored one, and a field
  // may name the messages (data-fault, one a line) of a check made after
  // the values were taken. First a field that came back otherwise, then
  // one that names the message. None: the message stays at the top.
  function refusedField(text, shown) {
    var all = fields().filter(function (el) {
      return el.value;
    });
    var changed = all.filter(function (el) {
      return plain(el, el.value) !== plain(el, shown[el.name]);
    });
    var named = all.filter(function (el) {
      return (el.getAttribute("data-fault") || "").split("\n").indexOf(text) >= 0;
    });
    return changed.concat(named).slice(0, 1).map(function (el) {
      return { el: el, text: text };
    });
  }

  // The row of the program's own messages that holds the text, or none
  // for a text the configuration library left.
  function programMessage(text) {
    return Array.prototype.find.call(document.getElementById("refusals").content.children, function (p) {
      return p.textContent === text;
    });
  }

  // The page the program answered a submitted form with. The program keeps
  // a refused save's values only where it could: the page shows what the
  // user sent, and the service the port still runs. A stored save says so,
  // naming the port and the service it now runs. Either way a reload then
  // shows the page and sends nothing again.
  function answered(sent) {
    var text = msg.textContent.trim();
    if (text) {
      var shown = {};
      refused = true;
      fields().forEach(function (el) {
        shown[el.name] = el.value;
        if (el.type === "checkbox")
          el.checked = sent.values[el.getAttribute("data-for")] === "1";
        else if (el.name in sent.values)
          el.value = sent.values[el.name];
        el.dispatchEvent(new Event("change"));
      });
      pending.setAttribute("data-stored", sent.stored);
      var row = programMessage(text);
      if (row) {
        var label = document.createElement("strong");
        label.textContent = form.getAttribute("data-refused") + " ";
        msg.prepend(label);
        // Refused as a whole, the save set no field: each shows the stored value.
        if (!row.hasAttribute("data-save"))
          showFaults(refusedField(text, shown));
      }
    } else {
      done.firstElementChild.textContent = done.getAttribute("data-runs").replace("{port}", index + 1)
        .replace("{service}", service.options[service.selectedIndex].text);
      done.hidden = false;
      done.lastElementChild.hidden = !sent.reset;
    }
    history.replaceState(null, "", url(index + "&next_page=" + page));
  }

  form.addEventListener("submit", function (e) {
    var faults = fields().map(function (el) {
      return { el: el, text: fault(el) };
    }).filter(function (f) {
      return f.text;
    });
    if (showFaults(faults)) {
      e.preventDefault();
      return;
    }
    saving = true;
    var values = {};
    new FormData(form).forEach(function (value, name) {
      values[name] = value;
    });
    sessionStorage.setItem(SENT, JSON.stringify({
      page: page, port: index, stored: pending.getAttribute("data-stored"), values: values,
      reset: !!(e.submitter && e.submitter.name === "h_ClearConn")
    }));
  });

  // An edit takes back its field's message and the word of the last save.
  form.addEventListener("input", function (e) {
    clearFault(e.target);
    done.hidden = true;
  });

  // Back, reload, a typed address or closing the tab: the browser asks,
  // unless the page's own question was answered or its own Save is leaving.
  window.addEventListener("beforeunload", function (e) {
    if (!saving && !leaving && unsaved()) {
      e.preventDefault();
      e.returnValue = "";
    }
  });

  // Links leave the page: ask first when there are unsaved entries.
  document.addEventListener("click", function (e) {
    var link = e.target.closest && e.target.closest("a[href]");
    if (link && !mayLeave())
      e.preventDefault();
  });

  form.querySelectorAll(".switch input[type=range]").forEach(makeSwitch);
  form.querySelectorAll("input[type=number]").forEach(asText);
  follow(port, loadPort);
  follow(service, loadService);
  // A page taken back from the history asks again before it is left.
  window.addEventListener("pageshow", function () {
    leaving = saving = false;
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
