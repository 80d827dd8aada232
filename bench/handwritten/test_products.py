from playwright.sync_api import expect


def _cart_button(page, product):
    return page.locator("li.product", has_text=product).get_by_role("button", name="Add to cart")


def test_add_products_by_position(page, shop):
    page.goto(shop("products.html"))
    buttons = page.get_by_role("button", name="Add to cart")
    buttons.nth(1).click()
    buttons.nth(3).click()
    expect(page.get_by_text("Cart (2)")).to_have_count(1)
    page.goto(shop("cart.html"))
    expect(page.get_by_text("Bolt T-Shirt")).to_have_count(1)
    expect(page.get_by_text("Onesie")).to_have_count(1)


def test_add_products_by_their_neighbours(page, shop):
    page.goto(shop("products.html"))
    for product in ("Bike Light", "Fleece Jacket", "Onesie"):
        _cart_button(page, product).click()
    expect(page.get_by_text("Cart (3)")).to_be_visible()
    page.get_by_role("link", name="Cart (3)").click()
    for product in ("Bike Light", "Fleece Jacket", "Onesie"):
        expect(page.get_by_text(product)).to_have_count(1)


def test_search_narrows_the_list(page, shop):
    page.goto(shop("products.html"))
    page.get_by_placeholder("Search products").fill("bike")
    page.keyboard.press("Enter")
    expect(page.get_by_text("1 product", exact=True)).to_have_count(1)
    expect(page.get_by_text("Bike Light")).to_be_visible()


def test_sort_by_price(page, shop):
    page.goto(shop("products.html"))
    page.get_by_label("Sort by").select_option(label="Price (low to high)")
    first = page.locator(".product-name").first
    expect(first).to_have_text("Onesie")
    assert page.locator("li.product", has_text="Onesie").locator(".price").inner_text() == "$7.99"
    page.get_by_role("button", name="Add to cart").first.click()
    page.goto(shop("cart.html"))
    expect(page.get_by_text("Onesie")).to_have_count(1)


def test_account_menu_opens_on_hover(page, shop):
    page.goto(shop("products.html"))
    page.get_by_role("button", name="Account").hover()
    expect(page.get_by_role("link", name="Log out")).to_be_visible()
    page.get_by_role("link", name="Log out").click()
    expect(page.get_by_text("Sign in")).to_be_visible()


def test_late_content_and_hidden_help(page, shop):
    page.goto(shop("products.html"))
    expect(page.get_by_text("Recommended for you")).to_be_visible()
    expect(page.locator("[aria-label='Chat with us']")).to_have_count(1)
    page.wait_for_timeout(200)
    expect(page.get_by_text("Fleece Jacket", exact=True)).to_be_visible()
