from playwright.sync_api import expect


def _add(page, shop, product):
    page.goto(shop("products.html"))
    page.locator("li.product", has_text=product).get_by_role("button", name="Add to cart").click()
    page.goto(shop("cart.html"))


def test_remove_an_item_after_confirming(page, shop):
    _add(page, shop, "Bike Light")
    expect(page.get_by_role("button", name="Checkout")).to_be_enabled()
    messages = []
    page.once("dialog", lambda dialog: (messages.append(dialog.message), dialog.accept()))
    page.get_by_role("button", name="Remove").click()
    assert messages == ["Remove Bike Light from the cart?"]
    expect(page.get_by_text("Your cart is empty")).to_be_visible()
    expect(page.get_by_role("button", name="Checkout")).to_be_disabled()


def test_keep_the_item_when_the_dialog_is_dismissed(page, shop):
    _add(page, shop, "Trail Backpack")
    messages = []
    page.once("dialog", lambda dialog: (messages.append(dialog.message), dialog.dismiss()))
    page.locator(".cart-item", has_text="$29.99").get_by_role("button").click()
    assert messages and "Remove Trail Backpack" in messages[0]
    expect(page.get_by_text("Trail Backpack")).to_be_visible()
    expect(page.get_by_text("Subtotal: $29.99")).to_have_count(1)
