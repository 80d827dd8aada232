// Demo Shop behaviour: catalogue, cart (kept in sessionStorage), page wiring.
const PRODUCTS = [
  { id: "backpack", name: "Trail Backpack", price: 29.99, desc: "Carries everything, rain or shine." },
  { id: "light", name: "Bike Light", price: 9.99, desc: "A bright light for night rides." },
  { id: "bolt", name: "Bolt T-Shirt", price: 15.99, desc: "Soft cotton with a lightning bolt." },
  { id: "jacket", name: "Fleece Jacket", price: 49.99, desc: "Warm midweight fleece." },
  { id: "onesie", name: "Onesie", price: 7.99, desc: "For the smallest testers." },
  { id: "red", name: "Red T-Shirt", price: 15.99, desc: "Classic red, classic fit." },
];
const TAX_RATE = 0.08;

function money(n) { return "$" + n.toFixed(2); }
function byId(id) { return PRODUCTS.find(p => p.id === id); }

function loadCart() {
  try { return JSON.parse(sessionStorage.getItem("cart") || "[]"); } catch (e) { return []; }
}
function saveCart(cart) { sessionStorage.setItem("cart", JSON.stringify(cart)); }
function addToCart(id) {
  const cart = loadCart();
  cart.push(id);
  saveCart(cart);
  renderCartCount();
}
function cartTotals(cart) {
  const subtotal = cart.reduce((sum, id) => sum + byId(id).price, 0);
  const tax = Math.round(subtotal * TAX_RATE * 100) / 100;
  return { subtotal, tax, total: subtotal + tax };
}

function renderCartCount() {
  const link = document.getElementById("cart-link");
  if (link) link.textContent = "Cart (" + loadCart().length + ")";
}

function wireHeader() {
  renderCartCount();
  const menu = document.querySelector(".account-menu");
  if (menu) {
    menu.addEventListener("mouseenter", () => menu.classList.add("open"));
    menu.addEventListener("mouseleave", () => menu.classList.remove("open"));
  }
  const logout = document.getElementById("logout");
  if (logout) logout.addEventListener("click", () => sessionStorage.clear());
}

// Login page.
function initLogin() {
  document.getElementById("login-form").addEventListener("submit", ev => {
    ev.preventDefault();
    const user = document.getElementById("username").value;
    const pass = document.getElementById("password").value;
    const error = document.getElementById("login-error");
    if (user === "standard_user" && pass === "secret_sauce") {
      sessionStorage.setItem("user", user);
      location.href = "products.html";
    } else {
      error.textContent = user ? "Username and password do not match" : "Username is required";
      error.hidden = false;
    }
  });
}

// Product list: search, sort, add to cart, late recommendations.
function initProducts() {
  wireHeader();
  const user = sessionStorage.getItem("user");
  if (user) document.getElementById("greeting").textContent = "Hello, " + user;
  let query = "";
  let order = "az";
  const render = () => {
    let items = PRODUCTS.filter(p => p.name.toLowerCase().includes(query));
    const sorters = {
      az: (a, b) => a.name.localeCompare(b.name),
      za: (a, b) => b.name.localeCompare(a.name),
      lohi: (a, b) => a.price - b.price,
      hilo: (a, b) => b.price - a.price,
    };
    items = items.slice().sort(sorters[order]);
    const list = document.getElementById("product-list");
    list.innerHTML = "";
    for (const p of items) {
      const li = document.createElement("li");
      li.className = "product";
      li.innerHTML =
        '<h3 class="product-name">' + p.name + "</h3>" +
        '<div class="buy"><span class="price">' + money(p.price) + "</span>" +
        '<button type="button" data-product="' + p.id + '">Add to cart</button></div>' +
        '<p class="desc">' + p.desc + "</p>";
      li.querySelector("button").addEventListener("click", () => addToCart(p.id));
      list.appendChild(li);
    }
    document.getElementById("result-count").textContent =
      items.length + (items.length === 1 ? " product" : " products");
  };
  document.getElementById("search-form").addEventListener("submit", ev => {
    ev.preventDefault();
    query = document.getElementById("search").value.trim().toLowerCase();
    render();
  });
  document.getElementById("sort").addEventListener("change", ev => {
    order = ev.target.value;
    render();
  });
  render();
  // Recommendations arrive a moment after the page, as from a slow service.
  setTimeout(() => {
    const box = document.getElementById("recommended");
    box.textContent = "Recommended for you: Fleece Jacket";
    box.hidden = false;
  }, 1200);
}

// Cart: list, remove with confirmation, checkout.
function initCart() {
  wireHeader();
  const render = () => {
    const cart = loadCart();
    const list = document.getElementById("cart-items");
    list.innerHTML = "";
    cart.forEach((id, index) => {
      const p = byId(id);
      const row = document.createElement("div");
      row.className = "cart-item";
      row.innerHTML =
        '<span class="name">' + p.name + "</span>" +
        '<span class="qty">1</span>' +
        '<span class="item-price">' + money(p.price) + "</span>" +
        '<button type="button" class="secondary">Remove</button>';
      row.querySelector("button").addEventListener("click", () => {
        if (confirm("Remove " + p.name + " from the cart?")) {
          const now = loadCart();
          now.splice(index, 1);
          saveCart(now);
          renderCartCount();
          render();
        }
      });
      list.appendChild(row);
    });
    document.getElementById("empty").hidden = cart.length > 0;
    document.getElementById("subtotal").textContent = "Subtotal: " + money(cartTotals(cart).subtotal);
    document.getElementById("checkout").disabled = cart.length === 0;
  };
  document.getElementById("checkout").addEventListener("click", () => { location.href = "checkout.html"; });
  render();
}

// Checkout form: every field is required.
function initCheckout() {
  wireHeader();
  document.getElementById("checkout-form").addEventListener("submit", ev => {
    ev.preventDefault();
    const error = document.getElementById("form-error");
    const fields = [["first-name", "First Name"], ["last-name", "Last Name"], ["postal-code", "Postal Code"], ["email", "Email"]];
    for (const [id, name] of fields) {
      if (!document.getElementById(id).value.trim()) {
        error.textContent = name + " is required";
        error.hidden = false;
        return;
      }
    }
    sessionStorage.setItem("customer", document.getElementById("first-name").value.trim());
    sessionStorage.setItem("country", document.getElementById("country").value);
    location.href = "overview.html";
  });
}

// Overview: price table, terms, place order.
function initOverview() {
  wireHeader();
  const cart = loadCart();
  const body = document.getElementById("price-rows");
  for (const id of cart) {
    const p = byId(id);
    const tr = document.createElement("tr");
    tr.innerHTML = "<td>" + p.name + "</td><td>1</td><td>" + money(p.price) + "</td>";
    body.appendChild(tr);
  }
  const t = cartTotals(cart);
  document.getElementById("subtotal").textContent = money(t.subtotal);
  document.getElementById("tax").textContent = money(t.tax);
  document.getElementById("total").textContent = money(t.total);
  const terms = document.getElementById("terms");
  const place = document.getElementById("place-order");
  terms.addEventListener("change", () => { place.disabled = !terms.checked; });
  place.addEventListener("click", () => {
    sessionStorage.setItem("order-total", money(t.total));
    saveCart([]);
    location.href = "complete.html";
  });
}

function initComplete() {
  wireHeader();
  const name = sessionStorage.getItem("customer");
  if (name) document.getElementById("thanks-name").textContent = "We will email you soon, " + name + ".";
  document.getElementById("paid").textContent = sessionStorage.getItem("order-total") || "$0.00";
}
