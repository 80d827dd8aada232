// The one-round-trip page reading script.
//
// Reading a page element by element costs about twenty browser round trips per
// element. kFastScanScript gathers, in one evaluation, everything the page
// model's sources ask their ElementReader (page_model.hpp) for, so that a reader
// backed by these rows yields the same records as a reader backed by live
// element handles. To that end the script answers exactly as the browser
// automation's element operations do:
//
// - Element order: the automation's CSS engine reaches into open shadow roots
//   and, for a selector list, reports the matches in its "DOM order": an
//   element, then its light-DOM children's subtrees, then the subtrees of its
//   shadow root's children.
// - Visibility: an element is visible when it is rendered (checkVisibility),
//   its computed visibility is "visible" and its bounding client rectangle is
//   non-empty; an element with display: contents is visible when one of its
//   child elements is, or one of its child text nodes has a non-empty box.
// - Enabled state: the element is first retargeted (a non-form element inside
//   a button or a [role=button|checkbox|radio] stands for that ancestor; one
//   that is not itself a control stands for the control of its enclosing
//   label). It is disabled when it is a native form control (button, input,
//   select, textarea, option, optgroup) with a disabled attribute, an option in
//   a disabled optgroup, or inside a disabled fieldset but not inside that
//   fieldset's first legend; or when its ARIA role (explicit or implicit) is one
//   of the roles that support aria-disabled and the nearest aria-disabled of
//   true or false on it or its ancestors (crossing shadow hosts) is true.
// - Inner text: fails for an element outside the HTML namespace (SVG, MathML).
// - Bounding box: none without a layout box (no client rects). For untransformed
//   layout the border box equals the bounding client rectangle, number for
//   number. Where a transform, zoom, SVG or column fragmentation may make the
//   two differ in the last bits, for an inline element split around a block it
//   holds, and for line breaks (whose rectangle has the line's height but whose
//   box has none), the element is handed back to be measured by the page itself
//   (see "ask" below).
// - Lookups of the field label ("#" + aria-labelledby, label[for="id"]): the
//   first match in the CSS engine's query order (the document, then each open
//   shadow root, depth first); inner text as above. Values whose selector the
//   engine might read differently from plain CSS are handed back ("ask").
//
// Argument: [interactable selector, custom-input selector, text selector,
// label-candidate selector, captured attribute names] and, for the agent's
// readings only, [..., parts, known, words, scope]: `parts` says what to gather (kElements:
// the main, custom, label-candidate and cursor sources; kTexts: the text
// source; the others' lists stay empty; kNames: the `named` rows of `names`,
// kPageText: its `texts` and `bare`; kBare: `bare` alone, the anchors a
// relation may need; kGlance: as `texts`, only the lines the body shows, the
// first part of kPageText's; `names` is null without any of them), `known`
// is the page state of the reading whose records the caller holds (or null),
// `words` (or null) keeps only the named rows whose names may hold them all
// (and `names` then tells, as `contested`, whether an element outside them
// carries them in an aria-label, title or placeholder), `scope` (or null)
// reads only the part of the page around one named row of the reading kept
// (see `top` below; `names` is then {named: [], texts: [], bare: [], top:
// that part's path}, and the reading kept stays the one it looked around).
// Result: one JSON text
// (numbers in JSON keep their kind: 8 reads as an integer, 8.5 as a float,
// exactly as the page's own reports arrive), or the same value unserialized on
// a page that changed how JSON is written:
//
//   [facts, main, custom, text, candidates, cursor, names]         (without `parts`)
//   [facts, main, custom, text, candidates, cursor, names, state]  (with `parts`)
//   0                                   (`known` and the page has not changed)
//
// `main`, `custom`, `text`, `candidates`: indices into `facts`, one per element
// the selector matches, in the engine's order. `cursor`: the rows of the
// cursor-pointer script, a negative zero written as the text "-0". Each `facts`
// entry is an array (F_* below); a value that the element operation would have
// failed to read is ERR ({}); a value not gathered because no source reads it
// for that element is null where null is not itself a value.
//
//   F_TAG      tag-name script result
//   F_VISIBLE  visibility (boolean)
//   F_ENABLED  enabled state (boolean); gathered for the main source only
//   F_TEXT     inner text; gathered for main-source and visible elements
//   F_BOX      null (no box) | [x, y, width, height] | ask index (integer);
//              false when not gathered (hidden elements that only the text
//              and label-candidate sources read)
//   F_ATTRS    the captured attributes the element carries, name to text
//              (ERR for one whose read failed)
//   F_DATA     data-attribute script result as [name, value, name, value ...]
//   F_XPATH    positional path script result
//   F_DIRECT   direct-text script result (boolean)
//   F_LABELS   [labelledby, label-for, previous sibling, parent children]:
//              the two lookups give the found element's inner text, null
//              (nothing found or the lookup failed) or ASK (1); the two
//              scripts give their result, null when they failed; gathered
//              for main-source input/textarea and visible custom-source
//              elements
//
// `names` (null when its reading failed) is what a person reads on the page,
// gathered beside the rows and read by the agent's resolver, never by the
// page model: {named, texts, bare}.
//
//   named  one row per element a step may mean, in the engine's order:
//          [path, tag, input type, role, editing host, click handler or tab
//          stop, visible, enabled, [x, y, width, height], names], where
//          names is [source, text, source, text ...] with the sources
//          labelledby, aria-label, label, value, text, alt, title,
//          placeholder, row (the cell before in the same table row), left
//          (the text just before on the same line), after (the text just
//          after), above (the text just before on an earlier line)
//   texts  [text, visible] for each visible line of the page, each hidden
//          element's text, and each value a field or input button shows
//   bare   [text, box or null, visible, path of the parent] for each text
//          node whose parent also holds elements or is no element the text
//          selector reads
//
// An agent's reading keeps the elements behind the rows under
// globalThis[Symbol.for('marrowlane.read')], with the state it returns, until
// the next reading (see kReadElementScript).
//
// An element whose box is an ask index was stored, at that index, in the array
// under globalThis[Symbol.for('marrowlane.fastScan')] (absent when there is
// none); the caller measures it through the page and takes the array away (a
// later reading replaces an array nobody took).
#pragma once

#include <string_view>

#include "marrowlane/page_model.hpp"

namespace marrowlane::page {

inline constexpr int F_TAG = 0, F_VISIBLE = 1, F_ENABLED = 2, F_TEXT = 3, F_BOX = 4, F_ATTRS = 5,
                     F_DATA = 6, F_XPATH = 7, F_DIRECT = 8, F_LABELS = 9;
inline constexpr int kFields = 10;
inline constexpr int kAsk = 1;
inline constexpr int kElements = 1, kTexts = 2, kNames = 4, kPageText = 8, kBare = 16;
inline constexpr int kAllParts = kElements | kTexts | kNames | kPageText | kBare;
inline constexpr int kGlance = 32;  // within kPageText: asked alone, a text check's first look
inline constexpr std::string_view kAskStoreExpression = "Symbol.for('marrowlane.fastScan')";

// The element scripts below appear in the script verbatim (checked at the end
// of this header), so both ways of reading run the very same page code; only
// the positional path, the cursor-pointer rows, the data attributes and the
// direct text are computed differently (the same results, with paths, styles
// and boxes shared between elements instead of recomputed for each, and
// without the arrays the element scripts build on the way).
inline constexpr std::string_view kFastScanScript =
    R"JS(async ([mainSel, customSel, textSel, candSel, captured, parts, known, words, scope]) => {
  // --- Change watch -------------------------------------------------------------
  // The agent's readings (those given `parts`) keep a watch on the page: a
  // generation that every mutation, scroll, resize, load, focus change, input,
  // transition and running animation moves on, and every reading too. A
  // reading that knows the state the page was in (`known`) and finds it
  // unchanged after one frame (when pending scroll and resize events have
  // come) answers 0 instead of rows.
  const WATCH = Symbol.for('marrowlane.watch');
  const agentRead = parts !== undefined;
  const watching = () => {
    const w = {token: Math.random().toString(36).slice(2), gen: 0, view: '', roots: new WeakSet()};
    const moved = () => { w.gen++; };
    w.observer = new MutationObserver(moved);
    w.watchRoot = root => {
      if (w.roots.has(root)) return;
      w.roots.add(root);
      w.observer.observe(root, {subtree: true, childList: true, attributes: true, characterData: true});
    };
    w.state = () => {
      if (w.observer.takeRecords().length) w.gen++;
      const view = [scrollX, scrollY, innerWidth, innerHeight, devicePixelRatio, location.href].join(' ');
      if (view !== w.view) {
        w.view = view;
        w.gen++;
      }
      if (typeof document.getAnimations === 'function' &&
          document.getAnimations().some(a => a.playState === 'running')) w.gen++;
      return w.token + ':' + w.gen;
    };
    w.watchRoot(document);
    for (const type of ['scroll', 'resize', 'load', 'error', 'pageshow', 'focusin', 'focusout',
      'input', 'change', 'toggle', 'transitionrun', 'transitionend', 'transitioncancel',
      'animationstart', 'animationiteration', 'animationend', 'animationcancel']) {
      addEventListener(type, moved, {capture: true, passive: true});
    }
    if (document.fonts) document.fonts.addEventListener('loadingdone', moved);
    Object.defineProperty(globalThis, WATCH, {value: w, configurable: true});
    return w;
  };
  const watch = globalThis[WATCH] || (agentRead ? watching() : null);
  if (agentRead && known && watch.state() === known) {
    await new Promise(resolve => {
      requestAnimationFrame(resolve);
      setTimeout(resolve, 50);
    });
    if (watch.state() === known) return 0;
  }
  const ELEMENTS = 1, TEXTS = 2, NAMES = 4, PAGE_TEXT = 8, BARE = 16, GLANCE = 32;
  const want = agentRead ? parts : ELEMENTS | TEXTS | NAMES | PAGE_TEXT | BARE;
  // The part of the page read: all of it, or with `scope` ([state, index,
  // least]) the one around named row `index` of the reading that returned
  // `state`: its nearest ancestor that holds `least` elements, or the child
  // of <body> that holds it, whichever comes first. 0 when that reading is
  // gone or the element left the document.
  let top = document.documentElement;
  if (scope) {
    const read = globalThis[Symbol.for('marrowlane.read')];
    let at = read && read.state === scope[0] ? read.named[scope[1]] : null;
    if (!at || !at.isConnected) return 0;
    while (at.parentElement && at.parentElement !== document.body &&
           at.getElementsByTagName('*').length < scope[2]) at = at.parentElement;
    top = at;
  }

  const tagNameOf = el => el.tagName.toLowerCase();
  const previousSiblingTextOf = el => {
  const short = t => t.length > 0 && Array.from(t).length < 50;
  for (let sib = el.previousElementSibling; sib; sib = sib.previousElementSibling) {
    const own = Array.from(sib.childNodes)
      .filter(n => n.nodeType === 3)
      .map(n => n.textContent.trim())
      .filter(t => t.length > 0)
      .join(' ');
    if (short(own)) return own;
    const first = sib.firstElementChild;
    if (first) {
      const t = (first.textContent || '').trim();
      if (short(t)) return t;
    }
  }
  return null;
};
  const parentChildrenTextOf = el => {
  const parent = el.parentElement;
  if (!parent) return null;
  for (const child of parent.children) {
    if (child === el) break;
    const t = (child.textContent || '').trim();
    if (t.length > 0 && Array.from(t).length < 50) return t;
  }
  return null;
};

  const ERR = {};
  const ASK = 1;
  const [F_TAG, F_VISIBLE, F_ENABLED, F_TEXT, F_BOX, F_ATTRS, F_DATA, F_XPATH, F_DIRECT, F_LABELS,
    FIELDS] = [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10];
  const NEGATIVE_ZERO = '-0';
  const HTML_NS = 'http://www.w3.org/1999/xhtml';
  const attempt = (read, ...args) => {
    try {
      return read(...args);
    } catch (e) {
      return ERR;
    }
  };
  // Every memoized read of an element keeps its value in one slot array of
  // that element: one lookup finds them all, one insertion makes them.
  const UNREAD = Symbol('unread');
  const slots = new Map();
  let memos = 0;
  const memo = read => {
    const at = memos++;
    return el => {
      let slot = slots.get(el);
      if (slot === undefined) {
        slot = [];
        slots.set(el, slot);
      }
      while (slot.length < memos) slot.push(UNREAD);
      const had = slot[at];
      if (had !== UNREAD) return had;
      const value = read(el);
      slot[at] = value;
      return value;
    };
  };
  const styleOf = memo(el => getComputedStyle(el));
  const parentOrHost = el => {
    if (el.parentElement) return el.parentElement;
    const parent = el.parentNode;
    return parent && parent.nodeType === 11 && parent.host ? parent.host : null;
  };
  const isHtml = el => el.namespaceURI === HTML_NS;
  // The positional path script's paths (tag name and 1-based index among
  // same-tag siblings, up to the topmost element), with the sibling indices
  // counted once per parent instead of once per element.
  const siblingIndex = new Map();
  const stepOf = node => {
    if (!siblingIndex.has(node)) {
      const counts = new Map();
      for (const child of node.parentNode ? node.parentNode.children : [node]) {
        const count = (counts.get(child.tagName) || 0) + 1;
        counts.set(child.tagName, count);
        siblingIndex.set(child, count);
      }
    }
    return node.tagName.toLowerCase() + '[' + siblingIndex.get(node) + ']';
  };
  const xpathOf = memo(el => {
    const parent = el.parentNode;
    return (parent && parent.nodeType === 1 ? xpathOf(parent) : '') + '/' + stepOf(el);
  });

  const rectOf = memo(el => el.getBoundingClientRect());
  // The rows of the cursor-pointer script (the same rows, with styles, boxes
  // and paths shared with the rest of the reading).
  const cursorElements = [];
  const cursorPointerRows = () => {
    const native = new Set(['A', 'BUTTON', 'INPUT', 'SELECT', 'TEXTAREA']);
    const results = [];
    const seen = new Set();
    const CURSOR_SEL = 'div, span, li, td';
    const pool = top === document.documentElement ? document.querySelectorAll(CURSOR_SEL) :
      [...(top.matches(CURSOR_SEL) ? [top] : []), ...top.querySelectorAll(CURSOR_SEL)];
    for (const el of pool) {
      if (native.has(el.tagName)) continue;
      if (styleOf(el).cursor !== 'pointer') continue;
      const text = (el.innerText || '').trim();
      if (!text || (text.length > 60 && Array.from(text).length > 60)) continue;
      if (el.querySelectorAll('*').length > 10) continue;
      const r = rectOf(el);
      if (r.width <= 0 || r.height <= 0) continue;
      const path = xpathOf(el);
      if (seen.has(path)) continue;
      seen.add(path);
      cursorElements.push(el);
      results.push({
        tag: el.tagName.toLowerCase(),
        text: text,
        xpath: path,
        x: Math.round(r.x),
        y: Math.round(r.y),
        w: Math.round(r.width),
        h: Math.round(r.height),
        cls: typeof el.className === 'string' ? el.className : '',
        aria: el.getAttribute('aria-label') || '',
      });
    }
    return results;
  };

  // --- Visibility -------------------------------------------------------------
  let textRange = null;
  const textNodeShows = node => {
    textRange = textRange || document.createRange();
    textRange.selectNode(node);
    const r = textRange.getBoundingClientRect();
    return r.width > 0 && r.height > 0;
  };
  const visible = memo(el => {
    const style = styleOf(el);
    if (!style) return true;
    if (style.display === 'contents') {
      for (let child = el.firstChild; child; child = child.nextSibling) {
        if (child.nodeType === 1 && visible(child)) return true;
        if (child.nodeType === 3 && textNodeShows(child)) return true;
      }
      return false;
    }
    if (!el.checkVisibility()) return false;
    if (style.visibility !== 'visible') return false;
    const r = rectOf(el);
    return r.width > 0 && r.height > 0;
  });

  // --- Enabled state ------------------------------------------------------------
  const upperTag = el => {
    const name = el.tagName;
    if (typeof name === 'string') {
      const c = name.charCodeAt(0);
      return c >= 97 && c <= 122 ? name.toUpperCase() : name;
    }
    if (el instanceof HTMLFormElement) return 'FORM';
    return el.tagName.toUpperCase();
  };
  const VALID_ROLES = new Set(('alert alertdialog application article banner blockquote button caption cell ' +
    'checkbox code columnheader combobox complementary contentinfo definition deletion dialog directory ' +
    'document emphasis feed figure form generic grid gridcell group heading img insertion link list ' +
    'listbox listitem log main mark marquee math meter menu menubar menuitem menuitemcheckbox ' +
    'menuitemradio navigation none note option paragraph presentation progressbar radio radiogroup ' +
    'region row rowgroup rowheader scrollbar search searchbox separator slider spinbutton status strong ' +
    'subscript superscript switch tab table tablist tabpanel term textbox time timer toolbar tooltip ' +
    'tree treegrid treeitem').split(' '));
  const DISABLEABLE_ROLES = new Set(('application button composite gridcell group input link menuitem ' +
    'scrollbar separator tab checkbox columnheader combobox grid listbox menu menubar menuitemcheckbox ' +
    'menuitemradio option radio radiogroup row rowheader searchbox select slider spinbutton switch ' +
    'tablist textbox toolbar tree treegrid treeitem').split(' '));
  // Global ARIA attributes, each with the roles on which it does not count.
  const NAMING_PROHIBITED = ['caption', 'code', 'deletion', 'emphasis', 'generic', 'insertion',
    'paragraph', 'presentation', 'strong', 'subscript', 'superscript'];
  const GLOBAL_ARIA = [['aria-atomic', []], ['aria-busy', []], ['aria-controls', []],
    ['aria-current', []], ['aria-describedby', []], ['aria-details', []], ['aria-dropeffect', []],
    ['aria-flowto', []], ['aria-grabbed', []], ['aria-hidden', []], ['aria-keyshortcuts', []],
    ['aria-label', NAMING_PROHIBITED], ['aria-labelledby', NAMING_PROHIBITED], ['aria-live', []],
    ['aria-owns', []], ['aria-relevant', []], ['aria-roledescription', ['generic']]];
  const LANDMARK_BLOCKERS = 'article:not([role]), aside:not([role]), main:not([role]), ' +
    'nav:not([role]), section:not([role]), [role=article], [role=complementary], [role=main], ' +
    '[role=navigation], [role=region]';
  const INPUT_ROLES = {button: 'button', checkbox: 'checkbox', image: 'button', number: 'spinbutton',
    radio: 'radio', range: 'slider', reset: 'button', submit: 'button'};
  // Parents through which a presentational role passes down to these children.
  const PRESENTATION_PARENTS = {DD: ['DL', 'DIV'], DIV: ['DL'], DT: ['DL', 'DIV'], LI: ['OL', 'UL'],
    TBODY: ['TABLE'], TD: ['TR'], TFOOT: ['TABLE'], TH: ['TR'], THEAD: ['TABLE'],
    TR: ['THEAD', 'TBODY', 'TFOOT', 'TABLE']};

  const closestAcrossShadow = (el, css) => {
    for (let node = el; node;) {
      const found = node.closest(css);
      if (found) return found;
      let top = node;
      while (top.parentElement) top = top.parentElement;
      node = parentOrHost(top);
    }
    return null;
  };
  const explicitRole = el => {
    const roles = (el.getAttribute('role') || '').toLowerCase().split(' ').map(r => r.trim());
    return roles.find(r => VALID_ROLES.has(r)) || null;
  };
  const hasGlobalAria = (el, role) =>
    GLOBAL_ARIA.some(([name, prohibited]) => !prohibited.includes(role || '') && el.hasAttribute(name));
  const hasTabIndex = el => !Number.isNaN(Number(String(el.getAttribute('tabindex'))));
  const hasAccessibleName = el => el.hasAttribute('aria-label') || el.hasAttribute('aria-labelledby');
  const isListBox = select => select.multiple || select.size > 1;
  const nativelyFocusable = el => {
    const tag = upperTag(el);
    if (['BUTTON', 'DETAILS', 'SELECT', 'TEXTAREA'].includes(tag)) return true;
    if (tag === 'A' || tag === 'AREA') return el.hasAttribute('href');
    if (tag === 'INPUT') return !el.hidden;
    return false;
  };
  const inDisabledFieldset = el => {
    const fieldset = el.closest('FIELDSET[DISABLED]');
    if (!fieldset) return false;
    const legend = fieldset.querySelector(':scope > LEGEND');
    return !legend || !legend.contains(el);
  };
  const nativelyDisabled = el => {
    const tag = upperTag(el);
    if (!['BUTTON', 'INPUT', 'SELECT', 'TEXTAREA', 'OPTION', 'OPTGROUP'].includes(tag)) return false;
    return el.hasAttribute('disabled') || (tag === 'OPTION' && !!el.closest('OPTGROUP[DISABLED]')) ||
      inDisabledFieldset(el);
  };
  const focusable = el => !nativelyDisabled(el) && (nativelyFocusable(el) || hasTabIndex(el));
  const keepsOwnRole = (el, role) => hasGlobalAria(el, role) || focusable(el);
  const headerCell = el => !!el && upperTag(el) === 'TH';
  const filledDataCell = el => !!el && upperTag(el) === 'TD' &&
    !!((el.textContent || '').trim() || el.children.length > 0);
  const inputRole = el => {
    const type = el.type.toLowerCase();
    if (['email', 'search', 'tel', 'text', 'url', ''].includes(type)) {
      const list = listTarget(el);
      if (list && upperTag(list) === 'DATALIST') return 'combobox';
      return type === 'search' ? 'searchbox' : 'textbox';
    }
    if (type === 'hidden') return null;
    if (type === 'file') return 'button';
    return INPUT_ROLES[type] || 'textbox';
  };
  const listTarget = el => {
    const ref = el.getAttribute('list');
    if (!ref) return null;
    let root = el;
    while (root.parentNode) root = root.parentNode;
    if (root.nodeType !== 11 && root.nodeType !== 9) return null;
    try {
      for (const id of ref.split(/[ \t\n\f\r]+/).filter(id => !!id)) {
        const found = root.querySelector('#' + CSS.escape(id));
        if (found) return found;
      }
    } catch (e) {
    }
    return null;
  };
  const headerRole = el => {
    const scope = el.getAttribute('scope');
    if (scope === 'col' || scope === 'colgroup') return 'columnheader';
    if (scope === 'row' || scope === 'rowgroup') return 'rowheader';
    const next = el.nextElementSibling;
    const prev = el.previousElementSibling;
    const row = el.parentElement && upperTag(el.parentElement) === 'TR' ? el.parentElement : null;
    if (!next && !prev) {
      if (row) {
        const table = closestAcrossShadow(row, 'table');
        if (table && table.rows.length <= 1) return null;
      }
      return 'columnheader';
    }
    if (headerCell(next) && headerCell(prev)) return 'columnheader';
    if (filledDataCell(next) || filledDataCell(prev)) return 'rowheader';
    return 'columnheader';
  };
  const IMPLICIT_ROLES = {
    A: el => el.hasAttribute('href') ? 'link' : null,
    AREA: el => el.hasAttribute('href') ? 'link' : null,
    ARTICLE: () => 'article', ASIDE: () => 'complementary', BLOCKQUOTE: () => 'blockquote',
    BUTTON: () => 'button', CAPTION: () => 'caption', CODE: () => 'code', DATALIST: () => 'listbox',
    DD: () => 'definition', DEL: () => 'deletion', DETAILS: () => 'group', DFN: () => 'term',
    DIALOG: () => 'dialog', DT: () => 'term', EM: () => 'emphasis', FIELDSET: () => 'group',
    FIGURE: () => 'figure',
    FOOTER: el => closestAcrossShadow(el, LANDMARK_BLOCKERS) ? null : 'contentinfo',
    FORM: el => hasAccessibleName(el) ? 'form' : null,
    H1: () => 'heading', H2: () => 'heading', H3: () => 'heading', H4: () => 'heading',
    H5: () => 'heading', H6: () => 'heading',
    HEADER: el => closestAcrossShadow(el, LANDMARK_BLOCKERS) ? null : 'banner',
    HR: () => 'separator', HTML: () => 'document',
    IMG: el => el.getAttribute('alt') === '' && !el.getAttribute('title') && !hasGlobalAria(el) &&
      !hasTabIndex(el) ? 'presentation' : 'img',
    INPUT: inputRole, INS: () => 'insertion', LI: () => 'listitem', MAIN: () => 'main',
    MARK: () => 'mark', MATH: () => 'math', MENU: () => 'list', METER: () => 'meter',
    NAV: () => 'navigation', OL: () => 'list', OPTGROUP: () => 'group', OPTION: () => 'option',
    OUTPUT: () => 'status', P: () => 'paragraph', PROGRESS: () => 'progressbar',
    SEARCH: () => 'search', SECTION: el => hasAccessibleName(el) ? 'region' : null,
    SELECT: el => isListBox(el) ? 'listbox' : 'combobox', STRONG: () => 'strong',
    SUB: () => 'subscript', SUP: () => 'superscript', SVG: () => 'img', TABLE: () => 'table',
    TBODY: () => 'rowgroup',
    TD: el => {
      const table = closestAcrossShadow(el, 'table');
      const role = table ? explicitRole(table) : '';
      return role === 'grid' || role === 'treegrid' ? 'gridcell' : 'cell';
    },
    TEXTAREA: () => 'textbox', TFOOT: () => 'rowgroup', TH: headerRole, THEAD: () => 'rowgroup',
    TIME: () => 'time', TR: () => 'row', UL: () => 'list',
  };
  const implicitRole = el => {
    const tag = upperTag(el);
    const of = Object.prototype.hasOwnProperty.call(IMPLICIT_ROLES, tag) ? IMPLICIT_ROLES[tag] : null;
    const role = (of && of(el)) || '';
    if (!role) return null;
    for (let node = el; node;) {
      const parent = parentOrHost(node);
      const parents = PRESENTATION_PARENTS[upperTag(node)];
      if (!parents || !parent || !parents.includes(upperTag(parent))) break;
      const parentRole = explicitRole(parent);
      if ((parentRole === 'none' || parentRole === 'presentation') && !keepsOwnRole(parent, parentRole)) {
        return parentRole;
      }
      node = parent;
    }
    return role;
  };
  const roleOf = memo(el => {
    const explicit = explicitRole(el);
    if (!explicit) return implicitRole(el);
    if (explicit === 'none' || explicit === 'presentation') {
      const implicit = implicitRole(el);
      if (keepsOwnRole(el, implicit)) return implicit;
    }
    return explicit;
  });
  const ariaDisabledInChain = memo(el => {
    const value = (el.getAttribute('aria-disabled') || '').toLowerCase();
    if (value === 'true') return true;
    if (value === 'false') return false;
    const parent = parentOrHost(el);
    return parent ? ariaDisabledInChain(parent) : false;
  });
  const actingElement = el => {
    let target = el;
    if (!target.matches('input, textarea, select') && !target.isContentEditable) {
      target = target.closest('button, [role=button], [role=checkbox], [role=radio]') || target;
    }
    if (!target.matches('a, input, textarea, button, select, option, optgroup, [role=link], ' +
        '[role=button], [role=checkbox], [role=radio]') && !target.isContentEditable) {
      const label = target.closest('label');
      if (label && label.control) target = label.control;
    }
    return target;
  };
  const enabled = memo(el => {
    const target = actingElement(el);
    if (nativelyDisabled(target)) return false;
    return !(DISABLEABLE_ROLES.has(roleOf(target) || '') && ariaDisabledInChain(target));
  });

  // --- Text and box -------------------------------------------------------------
  // An element's rendered text, read once for its row and its names.
  const renderedText = memo(el => el.innerText);
  const innerText = el => {
    if (!isHtml(el)) return ERR;
    return renderedText(el);
  };
  // What may make the border box differ from the client rectangle in its last
  // bits: a transform, zoom or SVG on the way up (numbers then trusted only when
  // they stay on the layout grid), or column fragmentation (never trusted).
  const NONE = 'none';
  const layoutRisk = memo(el => {
    const style = styleOf(el);
    let risk = 0;
    if (style.transform !== NONE || style.translate !== NONE || style.rotate !== NONE ||
        style.scale !== NONE || (style.offsetPath && style.offsetPath !== NONE) ||
        (style.zoom && style.zoom !== '1' && style.zoom !== 'normal') || !isHtml(el)) {
      risk = 1;
    }
    if (style.columnCount !== 'auto' || style.columnWidth !== 'auto') risk = 2;
    const up = el.assignedSlot || parentOrHost(el);
    return up ? Math.max(risk, layoutRisk(up)) : risk;
  });
  // Column fragmentation alone, on the way up: all that counts for a box that
  // stays on the layout grid (two style reads instead of eight).
  const inColumns = memo(el => {
    const style = styleOf(el);
    if (style.columnCount !== 'auto' || style.columnWidth !== 'auto') return true;
    const up = el.assignedSlot || parentOrHost(el);
    return up ? inColumns(up) : false;
  });
  // An inline element that holds a block is split around it; its box then
  // spans the anonymous blocks, its client rectangle only its own fragments.
  const ATOMIC_INLINE = /^inline-|^math$/;
  const holdsBlock = memo(el => {
    for (const child of el.children) {
      const display = styleOf(child).display;
      if (display === 'none' || ATOMIC_INLINE.test(display)) continue;
      if (display === 'inline' || display === 'contents' || display.startsWith('ruby')) {
        if (holdsBlock(child)) return true;
        continue;
      }
      return true;
    }
    return false;
  });
  // Translations by halves of layout units stay on this grid; rotations and
  // most scales leave it. On it, and small, every corner is exact in single
  // precision, so both measures agree.
  const onGrid = v => Number.isInteger(v * 256) && Math.abs(v) < 32768;
  const asked = [];
  let scroll = null;
  const boxOf = el => {
    if (!isHtml(el) || el.localName === 'br' || el.localName === 'wbr') return asked.push(el) - 1;
    const r = rectOf(el);
    if (!r.x && !r.y && !r.width && !r.height && el.getClientRects().length === 0) return null;
    const box = [r.x, r.y, r.width, r.height];
    // A box on the grid is trusted unless columns or a split inline make it
    // differ; one off the grid only where nothing on the way up may move it.
    scroll ??= [scrollX, scrollY];  // read once: each read asks the layout again
    const plain = box.every(onGrid) && r.x + scroll[0] >= 0 && r.y + scroll[1] >= 0;
    const trusted = (plain ? !inColumns(el) : layoutRisk(el) === 0) &&
      !(styleOf(el).display === 'inline' && holdsBlock(el));
    if (!trusted) return asked.push(el) - 1;
    return box.map(v => v + 0);
  };

  // --- Field label lookups --------------------------------------------------------
  let searchRoots = null;
  const rootsInQueryOrder = () => {
    if (searchRoots) return searchRoots;
    searchRoots = [];
    const add = root => {
      searchRoots.push(root);
      for (const el of root.querySelectorAll('*')) {
        if (el.shadowRoot) add(el.shadowRoot);
      }
    };
    add(document);
    return searchRoots;
  };
  const firstMatch = css => {
    for (const root of rootsInQueryOrder()) {
      const found = root.querySelector(css);
      if (found) return found;
    }
    return null;
  };
  // The first label[for] of each id, in query order (one pass for all ids).
  let labelsByFor = null;
  const labelFor = id => {
    if (!labelsByFor) {
      labelsByFor = new Map();
      for (const root of rootsInQueryOrder()) {
        for (const label of root.querySelectorAll('label[for]')) {
          const target = label.getAttribute('for');
          if (!labelsByFor.has(target)) labelsByFor.set(target, label);
        }
      }
    }
    return labelsByFor.get(id) || null;
  };
  const textOf = found => {
    try {
      if (!found || !isHtml(found)) return null;
      return found.innerText;
    } catch (e) {
      return null;
    }
  };
  const PLAIN_IDENT = /^[A-Za-z_\u0080-\ud7ff\ue000-\uffff][A-Za-z0-9_\-\u0080-\ud7ff\ue000-\uffff]*$/;
  const PLAIN_STRING = /^[^\u0000-\u001f\u007f\ud800-\udfff]*$/;
  const labelledByText = el => {
    const value = el.getAttribute('aria-labelledby');
    if (!value) return null;
    return PLAIN_IDENT.test(value) ? textOf(firstMatch('#' + value)) : ASK;
  };
  const labelForText = el => {
    const id = el.getAttribute('id');
    if (!id) return null;
    if (!PLAIN_STRING.test(id)) return ASK;
    return textOf(labelFor(id));
  };
  const guarded = (read, el) => {
    try {
      return read(el);
    } catch (e) {
      return null;
    }
  };

  // --- Rows -------------------------------------------------------------------------
  const MAIN = 1, CUSTOM = 2, TEXT = 4, CANDIDATE = 8;
  const lists = [[], [], [], []];
  const needs = new Map();
  const order = [];
  const note = (el, need, list) => {
    if (!needs.has(el)) {
      needs.set(el, 0);
      order.push(el);
    }
    needs.set(el, needs.get(el) | need);
    list.push(el);
  };
  // The engine's order: an element, its light-DOM subtree, then its shadow tree.
  const stack = [top];
  while (stack.length) {
    const el = stack.pop();
    if (want & ELEMENTS) {
      if (el.matches(mainSel)) note(el, MAIN, lists[0]);
      if (el.matches(customSel)) note(el, CUSTOM, lists[1]);
    }
    if ((want & TEXTS) && el.matches(textSel)) note(el, TEXT, lists[2]);
    if ((want & ELEMENTS) && el.matches(candSel)) note(el, CANDIDATE, lists[3]);
    const children = [...el.children];
    if (el.shadowRoot) {
      children.push(...el.shadowRoot.children);
      if (watch) watch.watchRoot(el.shadowRoot);
    }
    for (let i = children.length - 1; i >= 0; i--) stack.push(children[i]);
  }

  // What the data-attribute, direct-text and attribute reads of the element by
  // element reading answer, without the arrays they build on the way.
  const capturedNames = new Set(captured);
  // The captured names an attribute of the element may answer (getAttribute
  // finds an attribute only by its name, lower-cased on HTML elements).
  const capturedOn = names => {
    const found = new Set();
    for (const name of names) {
      const lower = name.toLowerCase();
      if (capturedNames.has(lower)) found.add(lower);
    }
    return found;
  };
  const dataPairsOf = (el, names) => {
    if (names && !names.some(name => name.startsWith('data-'))) return [];
    const data = {};
    for (const a of el.attributes) {
      if (a.name.startsWith('data-')) data[a.name] = a.value;
    }
    const pairs = [];
    for (const name of Object.keys(data)) pairs.push(name, data[name]);
    return pairs;
  };
  const hasOwnText = el => {
    for (let n = el.firstChild; n; n = n.nextSibling) {
      if (n.nodeType === 3 && n.textContent.trim().length > 0) return true;
    }
    return false;
  };

  const index = new Map();
  const facts = order.map((el, i) => {
    index.set(el, i);
    const need = needs.get(el);
    const main = (need & MAIN) !== 0;
    const row = new Array(FIELDS).fill(null);
    row[F_TAG] = attempt(tagNameOf, el);
    row[F_VISIBLE] = attempt(visible, el);
    const shown = row[F_VISIBLE] === true;
    if (main) row[F_ENABLED] = attempt(enabled, el);
    if (main || shown) row[F_TEXT] = attempt(innerText, el);
    row[F_BOX] = main || (need & CUSTOM) || shown ? attempt(boxOf, el) : false;
    const attrs = row[F_ATTRS] = {};
    const names = attempt(() => el.getAttributeNames());
    const carried = names === ERR ? ERR : capturedOn(names);
    for (const name of captured) {
      if (carried !== ERR && !carried.has(name)) continue;
      const value = attempt(() => el.getAttribute(name));
      if (value !== null) attrs[name] = value;
    }
    if (main || ((need & TEXT) && shown)) row[F_DATA] = attempt(dataPairsOf, el, names === ERR ? null : names);
    if (main || (need & (CUSTOM | TEXT) && shown)) row[F_XPATH] = attempt(xpathOf, el);
    if ((need & TEXT) && shown) row[F_DIRECT] = attempt(hasOwnText, el);
    const tag = row[F_TAG];
    if ((main && (tag === 'input' || tag === 'textarea')) || ((need & CUSTOM) && shown)) {
      const lookup = read => { const found = attempt(read, el); return found === ERR ? null : found; };
      row[F_LABELS] = [lookup(labelledByText), lookup(labelForText),
        guarded(previousSiblingTextOf, el), guarded(parentChildrenTextOf, el)];
    }
    return row;
  });


  // --- What a person reads: names and their sources, neighbour texts, page text --
  // Beside the rows above, never inside them: `named` lists every element a
  // step may mean (native controls, editable regions, elements with a click
  // handler, a tab stop or an interactive role, images with a text), each with
  // the names a person reads for it and where each name comes from; `texts`
  // holds the page's text as a person reads it (visible lines, hidden text,
  // the values fields and input buttons show); `bare` the text nodes that sit
  // beside elements, outside any element of their own.
  const CONTROL_SEL = 'input:not([type=hidden]), select, textarea, button';
  const INTERACTIVE_ROLES = new Set(['button', 'link', 'checkbox', 'radio', 'switch', 'tab', 'menuitem',
    'menuitemcheckbox', 'menuitemradio', 'option', 'textbox', 'searchbox', 'combobox', 'listbox',
    'spinbutton', 'slider', 'treeitem']);
  const SKIPPED_TEXT = new Set(['SCRIPT', 'STYLE', 'TEMPLATE', 'NOSCRIPT']);
  const MAX_NAME = 300;
  const clipped = t => (t.length > MAX_NAME ? t.slice(0, MAX_NAME) : t);
  const explicitInteractive = el => {
    const role = explicitRole(el);
    return role && INTERACTIVE_ROLES.has(role) ? role : null;
  };
  const editingHost = el => el.isContentEditable &&
    !(el.parentElement && el.parentElement.isContentEditable);
  const tabStop = el => el.hasAttribute('tabindex') && el.tabIndex >= 0;
  const isTarget = el => {
    const tag = el.localName;
    if (tag === 'input') return (el.getAttribute('type') || '').toLowerCase() !== 'hidden';
    if (tag === 'button' || tag === 'select' || tag === 'textarea' || tag === 'a' || tag === 'summary') return true;
    if (tag === 'img') return el.hasAttribute('alt') || el.hasAttribute('title');
    return !!explicitInteractive(el) || editingHost(el) || el.hasAttribute('onclick') || tabStop(el);
  };
  // The text of a node as markup gives it, without the text inside `skip`
  // (the control a label wraps) and without scripts and option lists.
  const textWithout = (node, skip) => {
    let out = '';
    const walk = n => {
      if (n === skip) return;
      if (n.nodeType === 3) { out += n.textContent; return; }
      if (n.nodeType !== 1 || SKIPPED_TEXT.has(n.tagName) || n.tagName === 'SELECT') return;
      for (let c = n.firstChild; c; c = c.nextSibling) walk(c);
    };
    walk(node);
    return out;
  };
  const byId = (el, id) => {
    const root = el.getRootNode();
    return root && root.getElementById ? root.getElementById(id) : document.getElementById(id);
  };
  // The labels of every control, from one pass over the labels of each root.
  // A control's own `labels` list searches the whole document again, for
  // each control, whenever an element was added or removed since the last
  // search: quadratic on a page that changes. A label's `control` and that
  // list are the same relation, and a root's query gives its tree order.
  let labelsByControl = null;
  const labelsOf = el => {
    const found = [];
    if (el.labels) {
      if (!labelsByControl) {
        labelsByControl = new Map();
        for (const root of rootsInQueryOrder()) {
          for (const label of root.querySelectorAll('label')) {
            const control = label.control;
            if (!control) continue;
            const list = labelsByControl.get(control);
            if (list) list.push(label);
            else labelsByControl.set(control, [label]);
          }
        }
      }
      const own = labelsByControl.get(el);
      if (own) found.push(...own);
    } else {
      const wrapping = el.closest('label');
      if (wrapping) found.push(wrapping);
      const id = el.getAttribute('id');
      const pointing = id ? labelFor(id) : null;
      if (pointing && !found.includes(pointing)) found.push(pointing);
    }
    return found;
  };
  const isChoice = el => el.localName === 'input' && /^(checkbox|radio)$/i.test(el.type);
  const previousNonBlank = n => {
    for (let m = n.previousSibling; m; m = m.previousSibling) {
      if (m.nodeType === 3 && !m.textContent.trim()) continue;
      return m;
    }
    return null;
  };
  const holdsControl = n => n.matches(CONTROL_SEL) || !!n.querySelector(CONTROL_SEL);
  // The first text before (step = 'previousSibling') or after the element in
  // its parent: a text node or an element without controls; a line break
  // ends the search after the element, a control ends it both ways.
  const siblingText = (el, step) => {
    for (let n = el[step]; n; n = n[step]) {
      if (n.nodeType === 3) {
        const t = n.textContent.trim();
        if (t) return [n, t];
        continue;
      }
      if (n.nodeType !== 1 || SKIPPED_TEXT.has(n.tagName)) continue;
      if (n.tagName === 'BR') {
        if (step === 'nextSibling') return null;
        continue;
      }
      // A label of another control names that one, not this.
      if (holdsControl(n) || (n.tagName === 'LABEL' && n.control && n.control !== el)) return null;
      const t = (n.innerText || n.textContent || '').trim();
      if (t) return [n, t];
    }
    return null;
  };
  const nextNonBlank = n => {
    for (let m = n.nextSibling; m; m = m.nextSibling) {
      if (m.nodeType === 3 && !m.textContent.trim()) continue;
      return m;
    }
    return null;
  };
  const boxTop = node => {
    if (node.nodeType === 1) return rectOf(node);
    textRange = textRange || document.createRange();
    textRange.selectNode(node);
    return textRange.getBoundingClientRect();
  };
  const sameLine = (a, b) => {
    const ra = boxTop(a), rb = boxTop(b);
    return ra.height > 0 && rb.height > 0 && ra.top < rb.bottom && rb.top < ra.bottom;
  };
  const followedByControl = n => {
    const next = nextNonBlank(n);
    return !!next && next.nodeType === 1 && holdsControl(next);
  };
  const neighbourNames = (el, add) => {
    const cell = el.parentElement && el.closest('td, th');
    if (cell && cell.querySelectorAll(CONTROL_SEL).length <= 1) {
      for (let c = cell.previousElementSibling; c; c = c.previousElementSibling) {
        if (holdsControl(c)) break;
        const t = (c.innerText || c.textContent || '').trim();
        if (t) {
          add('row', t);
          break;
        }
      }
    }
    const before = siblingText(el, 'previousSibling');
    // A text right after a checkbox or radio button is that one's name.
    const owner = before && previousNonBlank(before[0]);
    if (before && !(owner && owner.nodeType === 1 && isChoice(owner))) {
      add(sameLine(before[0], el) ? 'left' : 'above', before[1]);
    }
    // A text after a checkbox or radio button names it; after a field, only
    // on its line and when no other control follows it (then it is that
    // control's text on the left).
    const after = siblingText(el, 'nextSibling');
    if (after && (isChoice(el) || (sameLine(after[0], el) && !followedByControl(after[0])))) {
      add('after', after[1]);
    }
  };
  const namesOf = (el, tag, type) => {
    const out = [];
    const add = (source, text) => {
      const t = typeof text === 'string' ? text.trim() : '';
      if (t) out.push(source, clipped(t));
    };
    const ids = (el.getAttribute('aria-labelledby') || '').split(/\s+/).filter(id => !!id);
    if (ids.length) {
      add('labelledby', ids.map(id => byId(el, id)).filter(ref => !!ref)
        .map(ref => textWithout(ref, null).trim()).join(' '));
    }
    add('aria-label', el.getAttribute('aria-label'));
    for (const label of labelsOf(el)) add('label', textWithout(label, el));
    const field = tag === 'textarea' || tag === 'select' || editingHost(el) ||
      (tag === 'input' && !/^(button|submit|reset|image)$/.test(type));
    if (tag === 'input' && /^(button|submit|reset)$/.test(type)) {
      add('value', el.hasAttribute('value') ? el.value :
        (type === 'submit' ? 'Submit' : type === 'reset' ? 'Reset' : ''));
    }
    if (!field) add('text', renderedText(el) || el.textContent || '');
    if (tag === 'img' || (tag === 'input' && type === 'image')) add('alt', el.getAttribute('alt'));
    else if (!field) {
      for (const img of el.querySelectorAll('img[alt]')) add('alt', img.getAttribute('alt'));
    }
    add('title', el.getAttribute('title'));
    if (field) add('placeholder', el.getAttribute('placeholder'));
    // A closed dropdown list shows its chosen option ('Select a value...').
    if (tag === 'select' && !el.multiple && !(el.size > 1) && el.selectedIndex >= 0) {
      add('value', el.options[el.selectedIndex].label);
    }
    if (field || isChoice(el)) neighbourNames(el, add);
    return out;
  };
  const readNamed = el => {
    const tag = el.localName;
    const type = tag === 'input' ? (el.getAttribute('type') || 'text').toLowerCase() : '';
    const r = rectOf(el);
    const clickable = el.hasAttribute('onclick') || tabStop(el);
    return [xpathOf(el), tag, type, explicitInteractive(el) || roleOf(el) || '',
      editingHost(el), clickable, visible(el), enabled(el),
      [r.x, r.y, r.width, r.height], namesOf(el, tag, type)];
  };
  // The page's text: its visible lines (a line break or a table cell ends
  // one), the text of hidden elements, and what fields and input buttons show.
  const linesOf = (out, text, shown) => {
    for (const line of (text || '').split(/[\n\t]/)) {
      if (line.trim()) out.push([line, shown]);
    }
  };
  // The lines the body shows: the page's text as far as a glance reaches.
  const shownLines = () => {
    const out = [];
    if (document.body) linesOf(out, document.body.innerText, true);
    return out;
  };
  const pageTexts = () => {
    const out = shownLines();
    const lines = (text, shown) => linesOf(out, text, shown);
    for (const root of rootsInQueryOrder()) {
      if (root === document) continue;
      for (const child of root.children) {
        if (!SKIPPED_TEXT.has(child.tagName)) lines(child.innerText, visible(child));
      }
    }
    return out;
  };
  // The box of a text node's own characters, without the blanks around them
  // (a trailing line break would stretch it over the next line).
  const ownTextBox = node => {
    const data = node.data;
    textRange = textRange || document.createRange();
    textRange.setStart(node, data.length - data.trimStart().length);
    textRange.setEnd(node, data.trimEnd().length);
    return textRange.getBoundingClientRect();
  };
  // Whether an element may have a name that holds every one of `words`
  // (lower-case, no blanks in them): always, without words. Its own text and
  // naming attributes tell at once for most elements; one also named by
  // texts around it (a field, a choice, a labelled or referring element, an
  // image's alt, a shadow tree) has its names read to tell.
  const holdsWords = text => {
    const lower = text.toLowerCase();
    return words.every(w => lower.includes(w));
  };
  const mayCarry = el => {
    if (!words) return true;
    if (holdsWords([el.textContent, el.getAttribute('aria-label'), el.getAttribute('title'),
      el.getAttribute('alt')].join(' '))) return true;
    const tag = el.localName;
    if (!(tag === 'input' || tag === 'select' || tag === 'textarea' || editingHost(el) ||
        el.shadowRoot || el.hasAttribute('aria-labelledby') || labelsOf(el).length ||
        el.querySelector('img[alt]'))) return false;
    const type = tag === 'input' ? (el.getAttribute('type') || 'text').toLowerCase() : '';
    const names = namesOf(el, tag, type);
    for (let i = 1; i < names.length; i += 2) {
      if (holdsWords(names[i])) return true;
    }
    return false;
  };
  // Whether an element outside the named ones carries the words in an
  // aria-label, title or placeholder: an element record may then be named
  // better than they are.
  const NAMING = ['aria-label', 'title', 'placeholder'];
  const namedElsewhere = () => {
    if (!words) return false;
    for (const root of rootsInQueryOrder()) {
      for (const el of root.querySelectorAll('[aria-label], [title], [placeholder]')) {
        if (NAMING.some(name => el.hasAttribute(name) && holdsWords(el.getAttribute(name))) &&
            attempt(isTarget, el) !== true) return true;
      }
    }
    return false;
  };
  const namedElements = [];
  const namedTexts = [];
  const readNames = () => {
    const named = [];
    const texts = want & PAGE_TEXT ? pageTexts() : want & GLANCE ? shownLines() : [];
    const bare = [];
    if (!(want & (NAMES | PAGE_TEXT | BARE))) return {named, texts, bare};
    const walk = [document.documentElement];
    while (walk.length) {
      const el = walk.pop();
      const children = [...el.children];
      if (el.shadowRoot) children.push(...el.shadowRoot.children);
      for (let i = children.length - 1; i >= 0; i--) walk.push(children[i]);
      if ((want & NAMES) && attempt(isTarget, el) === true && attempt(mayCarry, el) !== false) {
        const row = attempt(readNamed, el);
        if (row !== ERR) {
          named.push(row);
          namedElements.push(el);
          // The text it showed, for an element named by its text: acting finds
          // it again only while it shows that text (kReadElementScript).
          namedTexts.push(row[9].includes('text') ? attempt(renderedText, el) : null);
        }
      }
      if (!(want & (PAGE_TEXT | BARE))) continue;
      const tag = el.localName;
      if ((want & PAGE_TEXT) && (tag === 'input' && !/^(hidden|checkbox|radio|file|image|password)$/i.test(el.type)) ||
          tag === 'textarea') {
        let value = attempt(() => el.value);
        if (value === '' && tag === 'input' && /^(submit|reset)$/i.test(el.type) && !el.hasAttribute('value')) {
          value = el.type.toLowerCase() === 'submit' ? 'Submit' : 'Reset';
        }
        if (typeof value === 'string' && value.trim()) texts.push([value, attempt(visible, el) === true]);
      }
      // Text outside any element of its own: beside elements, or in an element
      // that no text record stands for (<b>, <font>, <body>).
      let mixed = false;
      for (let c = el.firstChild; c && !mixed; c = c.nextSibling) mixed = c.nodeType === 1;
      let loose = null;
      for (let c = el.firstChild; c; c = c.nextSibling) {
        if (c.nodeType !== 3 || SKIPPED_TEXT.has(el.tagName)) continue;
        const t = c.textContent.trim();
        if (!t) continue;
        const shown = attempt(visible, el) === true;
        if (!shown && (want & PAGE_TEXT)) texts.push([clipped(el.textContent || ''), false]);
        if (mixed || (loose ??= !el.matches(textSel))) {
          const r = attempt(ownTextBox, c);
          bare.push([t, r === ERR ? null : [r.x, r.y, r.width, r.height], shown && r !== ERR &&
            r.width > 0 && r.height > 0, attempt(xpathOf, el)]);
        }
        if (!shown) break;
      }
    }
    return words ? {named, texts, bare, contested: namedElsewhere()} : {named, texts, bare};
  };

  const store = Symbol.for('marrowlane.fastScan');
  if (asked.length) globalThis[store] = asked;
  else delete globalThis[store];
  // JSON has no negative zero; the page's own reports keep it as a float.
  const cursor = want & ELEMENTS ? cursorPointerRows() : [];
  for (const row of cursor) {
    for (const key of ['x', 'y', 'w', 'h']) {
      if (Object.is(row[key], -0)) row[key] = NEGATIVE_ZERO;
    }
  }
  const names = want & (NAMES | PAGE_TEXT | BARE | GLANCE) ? attempt(readNames) : ERR;
  const payload = [facts, ...lists.map(list => list.map(el => index.get(el))), cursor,
    scope ? {named: [], texts: [], bare: [], top: attempt(xpathOf, top)} : names === ERR ? null : names];
  if (watch) {
    watch.gen++;
    if (agentRead && scope) {
      payload.push(watch.state());  // the reading it looked around stays the one kept
    } else if (agentRead) {
      const state = watch.state();
      payload.push(state);
      // The elements behind the rows stay reachable while the page is in this
      // state, so that an action lands on the very element that was read
      // (kReadElementScript).
      globalThis[Symbol.for('marrowlane.read')] = {state, elements: order, facts,
        cursorElements, cursor, named: namedElements, namedTexts};
    }
  }
  // A page that replaced JSON.stringify or added toJSON to a prototype gets
  // the rows as a value instead, serialized by the automation itself.
  const stringify = JSON.stringify;
  const nativeCode = /\{\s*\[native code\]\s*\}\s*$/;
  const plainJson = typeof stringify === 'function' &&
    nativeCode.test(Function.prototype.toString.call(stringify)) &&
    ![Object, Array, String, Number, Boolean].some(type =>
      Object.prototype.hasOwnProperty.call(type.prototype, 'toJSON'));
  return plainJson ? stringify(payload) : payload;
})JS";

// The element behind entry `index` of the agent's reading that returned
// `state` (kFastScanScript): an index below the number of facts is that
// fact's element, the others count the cursor-pointer rows on from there; a
// negative index -1, -2 ... is the first, second ... row of the names facts.
// Null when a later reading replaced that one, when the element left the
// document, or when its rendered text is no longer the text that was read
// (a list re-rendered into the same nodes; for a named row, when it was named
// by its text): the caller then reads again.
inline constexpr std::string_view kReadElementScript = R"JS(([state, index]) => {
  const read = globalThis[Symbol.for('marrowlane.read')];
  if (!read || read.state !== state) return null;
  const count = read.elements.length;
  if (index < 0) {
    const el = read.named[-index - 1];
    if (!el || !el.isConnected) return null;
    const shown = read.namedTexts[-index - 1];
    if (typeof shown === 'string' && (el.innerText || '').trim() !== shown.trim()) return null;
    return el;
  }
  const el = index < count ? read.elements[index] : read.cursorElements[index - count];
  if (!el || !el.isConnected) return null;
  const text = index < count ? read.facts[index][3] : read.cursor[index - count].text;
  if (typeof text === 'string' && (el.innerText || '').trim() !== text.trim()) return null;
  return el;
})JS";

// The element scripts of the element-by-element reading, word for word.
static_assert(kFastScanScript.find(page_model::kTagNameScript) != std::string_view::npos);
static_assert(kFastScanScript.find(page_model::kPreviousSiblingScript) != std::string_view::npos);
static_assert(kFastScanScript.find(page_model::kParentChildrenScript) != std::string_view::npos);

}  // namespace marrowlane::page
